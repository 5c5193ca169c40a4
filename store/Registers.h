#pragma once

#include <QString>
#include <array>

// The working registers through which every operation talks to the next. They are shared
// state on purpose: swh in particular carries over from one operation to the following one.
struct Registers {
    // sa[1]..sa[10] scratch, sa[11]..sa[60] the values of the row being written. sa[0] unused.
    std::array<QString, 61> sa;
    QString sqw;  // SQL text built or composed last
    QString stdb; // "csq" or "csm" (the file path while the databases are opened)
    QString stid; // catalogue TBID of the current table
    QString stnm; // name of the current table
    QString swh;  // WHERE / ORDER BY tail of the next SELECT or UPDATE
    QString shm;  // highest high of the last price import
    QString slm;  // lowest low of the last price import
    int imcn = 0; // CNT of the last real price bar

    static constexpr int firstValueSlot = 11;
    static constexpr int lastValueSlot = 60;
};

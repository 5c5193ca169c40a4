#pragma once

#include "store/Tdm.h"

#include <QString>

class Store;

// One register table of the record pages with the grid query that lists it.
struct RegisterTable {
    QString table;
    Query Tdm::*query;
    bool ordersItself;   // opening the grid first sets swh to " order by CNT "
    bool lastRowCurrent; // after opening, the last row is current; otherwise the first

    Query& queryOf(Tdm& dm) const { return dm.*query; }

    static const RegisterTable proForecast;  // F05PMF over qb
    static const RegisterTable eventRecords; // F06EVR over qe
    static const RegisterTable eventList;    // F07EVL over qf1
    static const RegisterTable categories;   // F08EVK over qf2
};

// The widget-free operations of the record editors.
namespace RegisterTables {

// Operation 1: select every catalogue column of the table with the tail in swh, open the grid
// query, place its current row and give each field its display width.
void openGrid(Store& store, const RegisterTable& table);
// Operation 4: the largest CNT plus one, "1" for an empty table.
QString nextCount(Store& store, const RegisterTable& table);
// Up moves the current row one back, Down one on, each wrapping round at the ends; returns the
// column of the new current row, empty when the query has no rows.
QString stepRow(Query& query, int key, const QString& column);
// " where EKB = 'text' order by cnt " with the quotes inside the text doubled.
QString categoryFilter(const QString& category);
// " where  ENW =  'text' order by cnt " with the quotes inside the text doubled.
QString eventNameFilter(const QString& name);

} // namespace RegisterTables

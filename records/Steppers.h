#pragma once

#include "store/Keys.h"

#include <QString>
#include <Qt>

class Dialogs;

// Up (Vk::Up) and Down (Vk::Down) step dates, times of day and the chart's day count; other keys
// do nothing.
namespace Steppers {

// Up one day earlier, Down one day later; with Shift alone a calendar month. Empty text starts
// from today. Unreadable text shows "日付を確認してください" and stays.
void ucDt(QString& sdt, int key, Qt::KeyboardModifiers shift, Dialogs& dialogs);
// Up five minutes later, Down five minutes earlier, wrapping within the day. Empty text starts
// from 00:00; unreadable text throws TorvaneError and stays.
void ucTm(QString& stm, int key);
// 01..20 round: Up adds one, Down takes one. Empty text counts as 1; unreadable text throws.
void ucNm(QString& sn, int key);

} // namespace Steppers

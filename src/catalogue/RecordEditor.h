#pragma once

#include <functional>

#include <QString>

class QObject;

namespace lumaro {

class DataControl;

// What the four buttons of a record-editing screen do to its primary data
// control, and how such a screen reports failures. Each operation is meant to
// run under guard(): the first failing step ends it and its description is
// shown alone, nothing undone, nothing retried.
namespace RecordEditor {

// Runs steps under the error guard.
void guard(const std::function<void()>& steps);

// Reads the primary control's record source when the screen is created. A
// failure is the control's own error, told with the data error message; the
// screen still opens, empty.
void open(DataControl& primary);

// 新增: a new, empty row becomes current. No column is filled in.
void add(DataControl& primary);
// 更新: stores every pending row, not only the current one.
void save(DataControl& primary);
// 刪除: deletes the current row, then stands on the next one, or on the last
// when the deleted row was the last. No confirmation is asked. When it was the
// only row, the move to the last row fails with the data control's refusal,
// unless the list may be left empty without a word (an order's lines).
enum class WhenEmptied { MoveFails, StandNowhere };
void remove(DataControl& primary, WhenEmptied whenEmptied = WhenEmptied::MoveFails);
// 重新整理: re-reads the primary control.
void refresh(DataControl& primary);

// Shows "Data error event hit err:" and the description, for errors a data
// control meets in its own work (a store when the current row moves).
void showDataError(const QString& description);
// Routes a control's own errors to showDataError.
void reportDataErrors(DataControl* control);

// Closing: the mouse pointer goes back to the default arrow.
void onClose();

} // namespace RecordEditor

} // namespace lumaro

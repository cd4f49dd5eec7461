#include "catalogue/RecordEditor.h"

#include "data/DataControl.h"
#include "data/DataError.h"
#include "platform/Form.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

namespace lumaro::RecordEditor {

void guard(const std::function<void()>& steps) { runHandler(steps); }

void open(DataControl& primary)
{
    try {
        primary.refresh();
    } catch (const DataError& e) {
        showDataError(e.description());
    }
}

void add(DataControl& primary) { primary.addNew(); }

void save(DataControl& primary) { primary.updateBatch(); }

void remove(DataControl& primary, WhenEmptied whenEmptied)
{
    primary.deleteCurrent();
    if (whenEmptied == WhenEmptied::StandNowhere && primary.recordCount() == 0)
        return;
    primary.moveNext();
    if (primary.eof())
        primary.moveLast();
}

void refresh(DataControl& primary) { primary.refresh(); }

void showDataError(const QString& description)
{
    prompts().message(QStringLiteral("Data error event hit err:") + description);
}

void reportDataErrors(DataControl* control)
{
    QObject::connect(control, &DataControl::error, control, [](const QString& d) { showDataError(d); });
}

void onClose() { resetMousePointer(); }

} // namespace lumaro::RecordEditor

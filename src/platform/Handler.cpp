#include "platform/Handler.h"

#include "platform/Failure.h"
#include "platform/Prompts.h"

#include <new>

namespace lumaro {

void runHandler(const std::function<void()>& body)
{
    QString description;
    try {
        body();
        return;
    } catch (const Failure& f) {
        description = f.description();
    } catch (const std::bad_alloc&) {
        description = QStringLiteral("記憶體不足，無法完成這個動作。");
    } catch (const std::exception& e) {
        description = QString::fromLocal8Bit(e.what());
    } catch (...) {
        description = QStringLiteral("發生未預期的錯誤。");
    }
    try {
        prompts().message(description);
    } catch (...) {
        // Nothing more can be told; keep the program running.
    }
}

} // namespace lumaro

#include "platform/Prompts.h"

#include "platform/QtPrompts.h"

namespace lumaro {

namespace {
Prompts* g_prompts = nullptr;
}

const QString& Prompts::programTitle()
{
    static const QString title = QStringLiteral("Lumaro");
    return title;
}

Prompts& prompts()
{
    if (!g_prompts) {
        static QtPrompts fallback;
        g_prompts = &fallback;
    }
    return *g_prompts;
}

void setPrompts(Prompts* p) { g_prompts = p; }

} // namespace lumaro

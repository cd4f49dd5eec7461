#include "platform/Prompts.h"

#include "platform/QtPrompts.h"

#include <utility>

namespace lumaro {

namespace {
Prompts* g_prompts = nullptr;

std::function<void()>& atProgramEnd()
{
    static std::function<void()> work;
    return work;
}
} // namespace

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

void setAtProgramEnd(std::function<void()> work) { atProgramEnd() = std::move(work); }

void runAtProgramEnd() noexcept
{
    if (auto work = std::exchange(atProgramEnd(), nullptr))
        work();
}

} // namespace lumaro

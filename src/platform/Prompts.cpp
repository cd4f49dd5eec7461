#include "platform/Prompts.h"

#include <cstdio>
#include <cstdlib>

#include <utility>

namespace lumaro {

namespace {

Prompts* g_prompts = nullptr;

// For a program that set no prompts of its own (one without windows): texts go
// to the standard error, a question gets the answer that changes nothing (No),
// and an input box is cancelled. The windowed program sets real dialogs first
// thing, before anything could be asked.
class StderrPrompts : public Prompts {
public:
    Answer message(const QString& text, Buttons buttons, const QString&) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
    }
    QString input(const QString& prompt, const QString&) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(prompt));
        return {};
    }
    void endProgram() override
    {
        runAtProgramEnd();
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(0);
    }
};

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
        static StderrPrompts fallback;
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

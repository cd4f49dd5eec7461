#pragma once

#include <QString>

#include <functional>

namespace lumaro {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

// The program's only way to ask or tell the user something, and to end itself.
// Screens never open message boxes of their own, so tests can answer every
// question and read back every text that was shown.
class Prompts {
public:
    static const QString& programTitle();

    virtual ~Prompts() = default;

    // A modal message. An empty title shows the program's title. A carriage
    // return inside the text is a line break.
    virtual Answer message(const QString& text, Buttons buttons = Buttons::Ok, const QString& title = QString()) = 0;

    // A modal one-line input box; returns the typed text, or an empty text when
    // the user cancels.
    virtual QString input(const QString& prompt, const QString& title) = 0;
    // The same for a secret (a database server's password): what is typed is
    // not shown. Prompts that show nothing anyway answer it as input().
    virtual QString secret(const QString& prompt, const QString& title) { return input(prompt, title); }

    // Asks where to save a file: suggested is the proposed path, filter the
    // kinds of file offered ("CSV 檔 (*.csv)"). Returns the chosen path, or
    // an empty text when the user cancels. Prompts that cannot ask cancel.
    virtual QString saveFile(const QString& title, const QString& suggested, const QString& filter)
    {
        (void)title, (void)suggested, (void)filter;
        return {};
    }

    // Ends the program at once. The real implementation does not return; a
    // scripted one records the call and returns, so callers must return
    // straight after calling it.
    virtual void endProgram() = 0;
};

// The prompts the running program uses. Set once at start-up (or by a test).
Prompts& prompts();
void setPrompts(Prompts* p);

// Work to finish before the program ends at once (the shop written out whole,
// so the file alone holds every move). The real endProgram() runs it; it must
// not throw. Set by the main window, cleared with an empty function.
void setAtProgramEnd(std::function<void()> work);
void runAtProgramEnd() noexcept;

} // namespace lumaro

#pragma once

#include "platform/Prompts.h"

#include <QList>
#include <QQueue>
#include <QString>

namespace lumaro {

// Prompts for tests and benchmarks: answers come from queues, and every prompt
// shown is kept so the caller can check its exact text and title.
class ScriptedPrompts : public Prompts {
public:
    enum class Kind { Message, Input, SaveFile };
    struct Shown {
        Kind kind;
        QString text;
        QString title; // as it would appear: the program's title when none was given
        Buttons buttons;
    };

    // With no queued answer a message takes its default button (OK, or Yes)
    // and an input box is cancelled.
    void queueAnswer(Answer a) { m_answers.enqueue(a); }
    void queueInput(const QString& text) { m_inputs.enqueue(text); }
    // The path the next save-file question answers; none queued cancels.
    void queueSaveFile(const QString& path) { m_saveFiles.enqueue(path); }

    Answer message(const QString& text, Buttons buttons = Buttons::Ok, const QString& title = QString()) override;
    QString input(const QString& prompt, const QString& title) override;
    QString saveFile(const QString& title, const QString& suggested, const QString& filter) override;
    void endProgram() override { ++m_ended; }

    const QList<Shown>& shown() const { return m_shown; }
    QList<Shown> messages() const;
    int inputCount() const;
    int endCount() const { return m_ended; }
    bool ended() const { return m_ended > 0; }
    void clear();

private:
    QQueue<Answer> m_answers;
    QQueue<QString> m_inputs;
    QQueue<QString> m_saveFiles;
    QList<Shown> m_shown;
    int m_ended = 0;
};

} // namespace lumaro

#include "platform/ScriptedPrompts.h"

namespace lumaro {

Answer ScriptedPrompts::message(const QString& text, Buttons buttons, const QString& title)
{
    m_shown.append({Kind::Message, text, title.isEmpty() ? programTitle() : title, buttons});
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

QString ScriptedPrompts::input(const QString& prompt, const QString& title)
{
    m_shown.append({Kind::Input, prompt, title.isEmpty() ? programTitle() : title, Buttons::Ok});
    return m_inputs.isEmpty() ? QString() : m_inputs.dequeue();
}

QString ScriptedPrompts::saveFile(const QString& title, const QString& suggested, const QString&)
{
    m_shown.append({Kind::SaveFile, suggested, title.isEmpty() ? programTitle() : title, Buttons::Ok});
    return m_saveFiles.isEmpty() ? QString() : m_saveFiles.dequeue();
}

QList<ScriptedPrompts::Shown> ScriptedPrompts::messages() const
{
    QList<Shown> out;
    for (const Shown& s : m_shown)
        if (s.kind == Kind::Message)
            out.append(s);
    return out;
}

int ScriptedPrompts::inputCount() const
{
    int n = 0;
    for (const Shown& s : m_shown)
        if (s.kind == Kind::Input)
            ++n;
    return n;
}

void ScriptedPrompts::clear()
{
    m_answers.clear();
    m_inputs.clear();
    m_saveFiles.clear();
    m_shown.clear();
    m_ended = 0;
}

} // namespace lumaro

#pragma once

#include "platform/Prompts.h"

namespace lumaro {

// Real modal dialogs over whatever window is active.
class QtPrompts : public Prompts {
public:
    Answer message(const QString& text, Buttons buttons = Buttons::Ok, const QString& title = QString()) override;
    QString input(const QString& prompt, const QString& title) override;
    QString secret(const QString& prompt, const QString& title) override;
    QString saveFile(const QString& title, const QString& suggested, const QString& filter) override;
    void endProgram() override;
};

} // namespace lumaro

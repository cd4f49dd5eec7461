#include "admin/Terminal.h"

#include "books/Password.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace lumaro::admin {

namespace {
// Messages of the data layer break their lines with a carriage return, as the
// program's message boxes do; on a terminal that would overwrite the line.
QByteArray forTerminal(QString text) { return text.replace(QLatin1Char('\r'), QLatin1Char('\n')).toUtf8(); }
} // namespace

void out(const QString& text)
{
    std::fputs(forTerminal(text).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void err(const QString& text)
{
    std::fputs(forTerminal(text).constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

namespace {

bool readLine(std::string* line)
{
    line->clear();
    if (!std::getline(std::cin, *line))
        return false;
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}

bool askHidden(const char* prompt, std::string* line)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    termios old{};
    const bool tty = tcgetattr(STDIN_FILENO, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= ~ECHO;
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const bool ok = readLine(line);
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::fputc('\n', stderr);
    }
    return ok;
}

} // namespace

bool readNewPassword(QString* password)
{
    std::string first;
    if (isatty(STDIN_FILENO)) {
        std::string second;
        if (!askHidden("新密碼：", &first) || !askHidden("再輸入一次：", &second)) {
            err(QStringLiteral("沒有讀到密碼。"));
            return false;
        }
        if (first != second) {
            err(QStringLiteral("兩次輸入的密碼不一樣，沒有做任何變更。"));
            return false;
        }
    } else if (!readLine(&first)) {
        err(QStringLiteral("請從標準輸入提供密碼（一行）。"));
        return false;
    }
    const QString typed = QString::fromUtf8(first.c_str(), static_cast<int>(first.size()));
    if (!isAcceptableNewPassword(typed)) {
        err(emptyPasswordText() + QStringLiteral("，沒有做任何變更。"));
        return false;
    }
    *password = typed;
    return true;
}

} // namespace lumaro::admin

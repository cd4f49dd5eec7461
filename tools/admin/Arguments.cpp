#include "admin/Arguments.h"

#include "admin/Help.h"
#include "admin/Terminal.h"

#include "platform/Failure.h"

namespace lumaro::admin {

namespace {

// The argument as it was typed, for the message: -x, --name or --name=value.
QString asTyped(const QStringList& args, const QString& name)
{
    for (const QString& a : args) {
        const QString bare = a.section(QLatin1Char('='), 0, 0);
        if (bare == QLatin1Char('-') + name || bare == QLatin1String("--") + name)
            return a;
    }
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

} // namespace

std::optional<int> parseCommand(QCommandLineParser& parser, const QString& command, const QStringList& args)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    if (parser.parse(QStringList{command} + args)) {
        if (parser.isSet(help)) {
            out(commandHelp(command));
            return 0;
        }
        // "--database=" names no file either.
        for (const QString& name : parser.optionNames())
            if (parser.isSet(name) && parser.value(name).isEmpty() && !parser.values(name).isEmpty()) {
                err(QStringLiteral("%1 的 %2 後面要接一個值。").arg(command, QLatin1String("--") + name));
                return 2;
            }
        return std::nullopt;
    }
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
        err(QStringLiteral("%1 不認得的選項：%2").arg(command, asTyped(args, unknown.first())));
        return 2;
    }
    // The only other way parsing fails: an option that takes a value ends the line.
    const QString last = args.isEmpty() ? QString() : args.last();
    err(QStringLiteral("%1 的 %2 後面要接一個值。").arg(command, last.isEmpty() ? parser.errorText() : last));
    return 2;
}

int exitCodeOf(const std::function<int()>& body, const std::function<void()>& afterFailure)
{
    try {
        return body();
    } catch (const Failure& e) {
        err(e.description());
        if (afterFailure)
            afterFailure();
        return 1;
    }
}

int runCommand(const CommandShape& shape, const QStringList& args, const std::function<int(const CommandInput&)>& body,
               const std::function<void()>& afterFailure)
{
    QCommandLineParser parser;
    const QCommandLineOption known(shape.option, QString(), QStringLiteral("value"));
    parser.addOption(known);
    parser.addPositionalArgument(QStringLiteral("arguments"), QString());
    if (const std::optional<int> stop = parseCommand(parser, shape.name, args))
        return *stop;
    const CommandInput input{parser.isSet(known) ? parser.value(known) : shape.optionDefault,
                             parser.positionalArguments()};
    if (input.plain.size() < shape.fewestPlain || input.plain.size() > shape.mostPlain) {
        err(shape.usage);
        return 2;
    }
    return exitCodeOf([&] { return body(input); }, afterFailure);
}

} // namespace lumaro::admin

#include "sim/simcommands.h"

#include "sim/simline.h"

#include <QStringList>

std::optional<long> SimCommands::parseNumber(const QString &text)
{
    bool ok = false;
    long value = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = text.mid(2).toLong(&ok, 16);
    else
        value = text.toLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString SimCommands::execute(const QString &commandLine)
{
    const QStringList words = commandLine.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty() || words.first().startsWith(QLatin1Char('#')))
        return QString();
    const QString &command = words.first();
    auto error = [](const QString &why) { return QStringLiteral("error: ") + why; };
    auto usage = [&](const char *form) {
        return error(QStringLiteral("usage: ") + QLatin1String(form));
    };
    const QString ok = QStringLiteral("ok");

    if (command == QLatin1String("quit")) {
        m_quit = true;
        return ok;
    }
    if (command == QLatin1String("unplug") || command == QLatin1String("replug")) {
        if (words.size() != 1)
            return usage(command == QLatin1String("unplug") ? "unplug" : "replug");
        m_line.setPlugged(command == QLatin1String("replug"));
        return ok;
    }

    if (command == QLatin1String("move")) {
        if (words.size() != 3)
            return usage("move OLD NEW");
        const std::optional<long> from = parseNumber(words.at(1));
        const std::optional<long> to = parseNumber(words.at(2));
        if (!from || *from < 1 || *from > 247 || !m_line.controller(int(*from)))
            return error(QStringLiteral("no controller at address ") + words.at(1));
        if (!to || *to < 1 || *to > 247)
            return error(QStringLiteral("address must be 1 to 247: ") + words.at(2));
        m_line.moveController(int(*from), int(*to));
        return ok;
    }

    static const QStringList perController = {"set", "get", "fault", "pvstatus", "event"};
    if (!perController.contains(command))
        return error(QStringLiteral("unknown command ") + command);
    if (words.size() < 2)
        return error(QStringLiteral("missing controller address"));
    const std::optional<long> address = parseNumber(words.at(1));
    SimController *c = address ? m_line.controller(int(*address)) : nullptr;
    if (!c)
        return error(QStringLiteral("no controller at address ") + words.at(1));

    if (command == QLatin1String("set") || command == QLatin1String("get")) {
        const bool isSet = command == QLatin1String("set");
        if (words.size() != (isSet ? 4 : 3))
            return usage(isSet ? "set ADDR REG VALUE" : "get ADDR REG");
        const std::optional<long> reg = parseNumber(words.at(2));
        if (!reg || *reg < 0 || *reg > 0xFFFF || !c->exists(int(*reg)))
            return error(QStringLiteral("no register ") + words.at(2));
        if (!isSet)
            return ok + QLatin1Char(' ') + QString::number(c->value(int(*reg)));
        const std::optional<long> value = parseNumber(words.at(3));
        if (!value || *value < -32768 || *value > 0xFFFF)
            return error(QStringLiteral("value out of 16 bits: ") + words.at(3));
        c->set(int(*reg), static_cast<quint16>(*value & 0xFFFF));
        return ok;
    }

    if (command == QLatin1String("fault")) {
        static const char *form =
            "fault ADDR none|silent|badcrc|wrongaddr|split|delay MS|exception CODE";
        if (words.size() < 3)
            return usage(form);
        const QString &kind = words.at(2);
        SimFault f;
        const bool takesValue =
            kind == QLatin1String("delay") || kind == QLatin1String("exception");
        if (words.size() != (takesValue ? 4 : 3))
            return usage(form);
        if (kind == QLatin1String("none"))
            f.kind = SimFault::Kind::None;
        else if (kind == QLatin1String("silent"))
            f.kind = SimFault::Kind::Silent;
        else if (kind == QLatin1String("badcrc"))
            f.kind = SimFault::Kind::BadChecksum;
        else if (kind == QLatin1String("wrongaddr"))
            f.kind = SimFault::Kind::WrongAddress;
        else if (kind == QLatin1String("split"))
            f.kind = SimFault::Kind::Split;
        else if (takesValue) {
            const std::optional<long> value = parseNumber(words.at(3));
            const bool delay = kind == QLatin1String("delay");
            if (!value || *value < (delay ? 0 : 1) || *value > (delay ? 60000 : 255))
                return error((delay ? QStringLiteral("delay must be 0 to 60000 ms: ")
                                    : QStringLiteral("exception code must be 1 to 255: ")) +
                             words.at(3));
            f.kind = delay ? SimFault::Kind::Delay : SimFault::Kind::Exception;
            f.value = int(*value);
        } else {
            return usage(form);
        }
        m_line.setFault(int(*address), f);
        return ok;
    }

    if (command == QLatin1String("pvstatus")) {
        if (words.size() != 3)
            return usage("pvstatus ADDR CODE|off");
        if (words.at(2) == QLatin1String("off")) {
            c->setPvStatus(std::nullopt);
            return ok;
        }
        const std::optional<long> code = parseNumber(words.at(2));
        if (!code || *code < 0 || *code > 15)
            return error(QStringLiteral("status code must be 0 to 15: ") + words.at(2));
        c->setPvStatus(int(*code));
        return ok;
    }

    // event
    if (words.size() != 4 ||
        (words.at(2) != QLatin1String("1") && words.at(2) != QLatin1String("2")) ||
        (words.at(3) != QLatin1String("on") && words.at(3) != QLatin1String("off")))
        return usage("event ADDR 1|2 on|off");
    c->setEventInput(words.at(2).toInt(), words.at(3) == QLatin1String("on"));
    return ok;
}

#include "queue/queuedrun.h"

#include <QJsonArray>
#include <QMetaEnum>
#include <QRegularExpression>

namespace {

const int FileVersion = 1;

} // namespace

QString QueuedRun::stateName(State state)
{
    return QString::fromLatin1(QMetaEnum::fromType<State>().valueToKey(int(state))).toLower();
}

bool QueuedRun::stateFromName(const QString& name, State* state)
{
    const QMetaEnum states = QMetaEnum::fromType<State>();
    for (int i = 0; i < states.keyCount(); ++i) {
        if (QString::fromLatin1(states.key(i)).toLower() == name) {
            *state = State(states.value(i));
            return true;
        }
    }
    return false;
}

QJsonObject QueuedRun::toJson() const
{
    return QJsonObject{{"version", FileVersion},
                       {"id", m_id},
                       {"order", double(m_order)},
                       {"state", stateName(m_state)},
                       {"mode", m_mode},
                       {"source", m_source},
                       {"destination", m_destination},
                       {"taskFile", m_taskFile},
                       {"options", QJsonArray::fromStringList(m_options)},
                       {"bytesDone", double(m_bytesDone)},
                       {"bytesTotal", double(m_bytesTotal)},
                       {"started", double(m_started)},
                       {"ended", double(m_ended)},
                       {"exitCode", m_exitCode},
                       {"message", m_message},
                       {"pid", double(m_pid)}};
}

bool QueuedRun::fromJson(const QJsonObject& json, QueuedRun* run)
{
    static const QRegularExpression idPattern(QStringLiteral("^[0-9a-f]{16}$"));
    QueuedRun result;
    result.m_id = json.value(QStringLiteral("id")).toString();
    if (json.value(QStringLiteral("version")).toInt() != FileVersion ||
        !idPattern.match(result.m_id).hasMatch() ||
        !stateFromName(json.value(QStringLiteral("state")).toString(), &result.m_state) ||
        !json.value(QStringLiteral("order")).isDouble() ||
        !json.value(QStringLiteral("taskFile")).isString() ||
        !json.value(QStringLiteral("options")).isArray())
        return false;
    result.m_order = qint64(json.value(QStringLiteral("order")).toDouble());
    result.m_mode = json.value(QStringLiteral("mode")).toString();
    result.m_source = json.value(QStringLiteral("source")).toString();
    result.m_destination = json.value(QStringLiteral("destination")).toString();
    result.m_taskFile = json.value(QStringLiteral("taskFile")).toString();
    for (const QJsonValue& option : json.value(QStringLiteral("options")).toArray()) {
        if (!option.isString())
            return false;
        result.m_options.append(option.toString());
    }
    result.m_bytesDone = qint64(json.value(QStringLiteral("bytesDone")).toDouble());
    result.m_bytesTotal = qint64(json.value(QStringLiteral("bytesTotal")).toDouble());
    result.m_started = qint64(json.value(QStringLiteral("started")).toDouble());
    result.m_ended = qint64(json.value(QStringLiteral("ended")).toDouble());
    result.m_exitCode = json.value(QStringLiteral("exitCode")).toInt(-1);
    result.m_message = json.value(QStringLiteral("message")).toString();
    result.m_pid = qint64(json.value(QStringLiteral("pid")).toDouble());
    *run = result;
    return true;
}

#include "platform/VpnTool.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// A tool that ignores the polite request is killed after this long.
constexpr int terminateGraceMs = 500;

} // namespace

VpnTool VpnTool::networkManager()
{
    return VpnTool{
        u"nmcli"_s,
        {u"-t"_s, u"-f"_s, u"NAME,UUID,TYPE"_s, u"connection"_s, u"show"_s, u"--active"_s}};
}

std::optional<QByteArray> VpnTool::run(std::chrono::milliseconds watchdog) const
{
    // A program that cannot start is not started at all: QProcess leaves a
    // descriptor open for every failed start, and the scan runs every 3 s.
    const QString executable = program.contains(u'/')
                                   ? (QFileInfo(program).isExecutable() ? program : QString())
                                   : QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const QDeadlineTimer deadline(watchdog);
    process.start(executable, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(int(deadline.remainingTime())) ||
        !process.waitForFinished(int(deadline.remainingTime()))) {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(terminateGraceMs)) {
                process.kill();
                process.waitForFinished(terminateGraceMs);
            }
        }
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

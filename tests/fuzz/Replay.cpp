// Replays fuzz inputs through the targets built into this program, so that
// an input that once broke a target keeps being checked by the ordinary
// build. A violated property or a crash ends the program abnormally.
//
//     ovrin_fuzz_replay TARGET PATH...   files, or folders whose files are read
//     ovrin_fuzz_replay --all CORPUS     every target on CORPUS/<target>/
#include "FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace {

const FuzzTarget* findTarget(const char* name)
{
    for (const FuzzTarget& target : fuzzTargets) {
        if (std::strcmp(target.name, name) == 0)
            return &target;
    }
    return nullptr;
}

// Runs every file at `paths` (a folder stands for its files, in name order)
// and returns how many ran, or -1 when one could not be read.
int replay(const FuzzTarget& target, const QStringList& paths)
{
    int count = 0;
    for (const QString& path : paths) {
        QStringList files{path};
        if (QFileInfo(path).isDir()) {
            files.clear();
            const QDir dir(path);
            for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
                files << dir.filePath(name);
        }
        for (const QString& file : files) {
            QFile input(file);
            if (!input.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "%s: cannot read %s\n", target.name, qPrintable(file));
                return -1;
            }
            const QByteArray bytes = input.readAll();
            target.run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            ++count;
        }
    }
    std::printf("%s: %d inputs\n", target.name, count);
    std::fflush(stdout);
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TARGET PATH... | --all CORPUS\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "--all") == 0) {
        const QDir corpus(QFile::decodeName(argv[2]));
        for (const FuzzTarget& target : fuzzTargets) {
            // A target with no seeds would pass without checking anything.
            if (replay(target, {corpus.filePath(QString::fromLatin1(target.name))}) < 1)
                return 1;
        }
        return 0;
    }
    const FuzzTarget* target = findTarget(argv[1]);
    if (!target) {
        std::fprintf(stderr, "unknown target %s\n", argv[1]);
        return 2;
    }
    QStringList paths;
    for (int i = 2; i < argc; ++i)
        paths << QFile::decodeName(argv[i]);
    return replay(*target, paths) < 0 ? 1 : 0;
}

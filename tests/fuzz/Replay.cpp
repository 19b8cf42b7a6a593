// Replays the seed inputs through the targets built into this program, so
// that an input that once broke a target keeps being checked by the ordinary
// build. A violated property or a crash ends the program abnormally. (One
// finding alone is replayed by the libFuzzer program, see scripts/fuzz.sh.)
//
//     ovrin_fuzz_replay CORPUS     every target on the files in CORPUS/<target>/
#include "FuzzTargets.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    const QDir corpus(QFile::decodeName(argc == 2 ? argv[1] : "-"));
    for (const FuzzTarget& target : fuzzTargets) {
        const QDir seeds(corpus.filePath(QString::fromLatin1(target.name)));
        const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
        // A target with no seeds would pass without checking anything.
        if (names.isEmpty()) {
            std::fprintf(stderr, "%s: no inputs in %s\n", target.name, qPrintable(seeds.path()));
            return 1;
        }
        for (const QString& name : names) {
            QFile input(seeds.filePath(name));
            if (!input.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "%s: cannot read %s\n", target.name, qPrintable(name));
                return 1;
            }
            const QByteArray bytes = input.readAll();
            target.run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
        }
        std::printf("%s: %lld inputs\n", target.name, qlonglong(names.size()));
        std::fflush(stdout);
    }
    return 0;
}

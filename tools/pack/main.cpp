// quorvane-pack: builds the packages the station serves, and decodes them.
#include "PackArguments.h"
#include "PackReport.h"

#include "core/personalise/DevicePackage.h"
#include "core/personalise/MacPackage.h"
#include "core/personalise/PackageInspect.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

using namespace quorvane;

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kUsageText[] =
    "usage:\n"
    "  quorvane-pack device --label TEXT [--model N] [--flags BITS] [--bootloader FILE]"
    " [--config FILE] [--root FILE] --out DIR\n"
    "  quorvane-pack mac --serial TEXT [--model N] [--flags BITS] [--wpa on|off] [--base MAC12]"
    " [--bootloader FILE] [--config FILE] [--root FILE] --out DIR\n"
    "  quorvane-pack checksum FILE\n"
    "  quorvane-pack inspect FILE\n";

void Print(FILE* stream, const QByteArray& text) {
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
}

int Fail(const QString& message) {
    Print(stderr, message.toUtf8() + '\n');
    return kFailed;
}

int Usage(const QString& message) {
    Print(stderr, "quorvane-pack: " + message.toUtf8() + '\n' + kUsageText);
    return kUsage;
}

struct Parsed {
    QCommandLineParser parser;
    QString error; // empty when the arguments are usable
};

// Parses the arguments after the command word against the given options and
// the given number of positional arguments.
void Parse(Parsed& p, const QStringList& args, const QList<QCommandLineOption>& options,
           int positional) {
    p.parser.addOptions(options);
    if (!p.parser.parse(args)) {
        p.error = p.parser.errorText();
        return;
    }
    if (p.parser.positionalArguments().size() != positional)
        p.error = positional ? QStringLiteral("one FILE expected")
                             : QStringLiteral("unexpected argument: ") +
                                   p.parser.positionalArguments().value(0);
}

QList<QCommandLineOption> PackageOptions(const QStringList& extra) {
    QList<QCommandLineOption> options;
    for (const QString& name :
         extra + QStringList{"model", "flags", "bootloader", "config", "root", "out"})
        options << QCommandLineOption(name, name, QStringLiteral("value"));
    return options;
}

struct Common {
    QString programDir;
    std::uint8_t flags = 0;
    int model = 5;
    PackageSources sources;
};

QString ReadCommon(const QCommandLineParser& p, Common& c) {
    if (!p.isSet("out") || p.value("out").isEmpty())
        return QStringLiteral("--out DIR is required");
    c.programDir = ProgramDir(p.value("out"));
    if (p.isSet("model")) {
        const auto model = ParseModel(p.value("model"));
        if (!model)
            return QStringLiteral("--model takes 0 to 15");
        c.model = *model;
    }
    c.sources = {p.value("bootloader"), p.value("config"), p.value("root")};
    c.flags = DefaultFlags(p.isSet("bootloader"), p.isSet("config"), p.isSet("root"));
    if (p.isSet("flags")) {
        const auto flags = ParseFlags(p.value("flags"));
        if (!flags)
            return QStringLiteral("--flags takes 0 to 255, decimal or 0x-hex");
        c.flags = *flags;
    }
    return {};
}

int Finish(const QString& message, const QString& path) {
    if (!message.isEmpty())
        return Fail(message);
    Print(stdout, path.toUtf8() + '\n');
    return 0;
}

int RunDevice(const QStringList& args) {
    Parsed p;
    Parse(p, args, PackageOptions({"label"}), 0);
    Common c;
    if (p.error.isEmpty() && !p.parser.isSet("label"))
        p.error = QStringLiteral("--label TEXT is required");
    if (p.error.isEmpty())
        p.error = ReadCommon(p.parser, c);
    if (!p.error.isEmpty())
        return Usage(p.error);

    DevicePackageRequest request;
    request.programDir = c.programDir;
    request.scanText = p.parser.value("label");
    request.flags = c.flags;
    request.sources = c.sources;
    request.model = c.model;
    const DevicePackageResult result = BuildDevicePackage(request);
    return Finish(result.message, result.outputPath);
}

int RunMac(const QStringList& args) {
    Parsed p;
    Parse(p, args, PackageOptions({"serial", "wpa", "base"}), 0);
    Common c;
    if (p.error.isEmpty() && !p.parser.isSet("serial"))
        p.error = QStringLiteral("--serial TEXT is required");
    if (p.error.isEmpty())
        p.error = ReadCommon(p.parser, c);
    std::optional<bool> wpa = false;
    if (p.error.isEmpty() && p.parser.isSet("wpa") && !(wpa = ParseOnOff(p.parser.value("wpa"))))
        p.error = QStringLiteral("--wpa takes on or off");
    if (p.error.isEmpty() && p.parser.isSet("base") && !IsMacText(p.parser.value("base")))
        p.error = QStringLiteral("--base takes 12 hex digits");
    if (!p.error.isEmpty())
        return Usage(p.error);

    MacPackageRequest request;
    request.programDir = c.programDir;
    request.macField = p.parser.value("serial");
    request.flags = c.flags;
    request.sources = c.sources;
    request.model = c.model;
    request.hasWpaKey = *wpa;
    if (p.parser.isSet("base"))
        request.currentTriple = MakeTriple(ParseMacText(p.parser.value("base")), c.model);
    const MacPackageResult result = BuildMacPackage(request);
    return Finish(result.message, result.outputPath);
}

int RunChecksum(const QStringList& args) {
    Parsed p;
    Parse(p, args, {}, 1);
    if (!p.error.isEmpty())
        return Usage(p.error);
    const QString path = p.parser.positionalArguments().constFirst();
    const auto crc = BootLoaderChecksum(path);
    if (!crc)
        return Fail(QStringLiteral("%1不存在").arg(path));
    Print(stdout, QByteArray::number(static_cast<qint32>(*crc)) + '\n' +
                      QByteArray::number(*crc, 16).rightJustified(8, '0') + '\n');
    return 0;
}

int RunInspect(const QStringList& args) {
    Parsed p;
    Parse(p, args, {}, 1);
    if (!p.error.isEmpty())
        return Usage(p.error);
    const QString path = p.parser.positionalArguments().constFirst();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("%1不存在").arg(path));
    const QByteArray bytes = file.readAll();
    const PackageReport report = InspectPackage(bytes);
    Print(stdout, FormatReport(report));
    for (const QString& problem : report.problems)
        Print(stderr, "error: " + problem.toUtf8() + '\n');
    return report.ok() ? 0 : kFailed;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    if (args.size() < 2)
        return Usage(QStringLiteral("a command is required"));
    const QString command = args.takeAt(1);
    if (command == QLatin1String("device"))
        return RunDevice(args);
    if (command == QLatin1String("mac"))
        return RunMac(args);
    if (command == QLatin1String("checksum"))
        return RunChecksum(args);
    if (command == QLatin1String("inspect"))
        return RunInspect(args);
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        Print(stdout, kUsageText);
        return 0;
    }
    return Usage(QStringLiteral("unknown command: ") + command);
}

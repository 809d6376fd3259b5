#include "core/personalise/Crc32.h"
#include "core/personalise/PackageFile.h"

#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

class TestPackageFile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void streamedWithCrc_data();
    void streamedWithCrc();
    void sourceChanged_data();
    void sourceChanged();
    void outputFails();
    void plainName_data();
    void plainName();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPackageFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// Memory pieces and a streamed file across several read blocks come out
// in order, with the CRC over everything after the field.
void TestPackageFile::streamedWithCrc_data() {
    QTest::addColumn<int>("fileSize");
    QTest::newRow("no file bytes") << 0;
    QTest::newRow("one byte") << 1;
    QTest::newRow("one block") << (1 << 20);
    QTest::newRow("several blocks and a bit") << (3 << 20) + 5;
}

void TestPackageFile::streamedWithCrc() {
    QFETCH(int, fileSize);
    const QByteArray image = testfiles::Pattern(fileSize, 11);
    QVERIFY(testfiles::Write(path("image.bin"), image));
    const SourceRead source = OpenSourceFile(path("image.bin"), 1 << 26);
    QCOMPARE(source.status, SourceStatus::Ok);
    QCOMPARE(source.size(), fileSize);

    ChunkedBytes bytes;
    bytes.appendLe32(0xAAAAAAAA);
    bytes.appendLe32(0); // the CRC goes here
    bytes.append(QByteArray("head"));
    bytes.append(source);
    bytes.appendZeros(3);
    QCOMPARE(bytes.size(), 8 + 4 + fileSize + 3);

    const WriteOutcome outcome = WritePackageFile(path("out"), bytes, CrcField{4, 8});
    QCOMPARE(outcome.status, WriteOutcome::Written);
    const QByteArray file = testfiles::Read(path("out"));
    const QByteArray body = "head" + image + QByteArray(3, '\0');
    QCOMPARE(file.mid(8), body);
    QCOMPARE(testfiles::Le32At(file, 0), 0xAAAAAAAAu);
    QCOMPARE(testfiles::Le32At(file, 4), Crc32(body));
}

void TestPackageFile::sourceChanged_data() {
    QTest::addColumn<qint64>("newSize");
    QTest::newRow("shrank") << qint64(1000);
    QTest::newRow("emptied") << qint64(0);
    QTest::newRow("grew") << qint64((2 << 20) + 1);
}

// A source that changed after it was sized would give a package whose length
// words lie: nothing is written and the older package stays.
void TestPackageFile::sourceChanged() {
    QFETCH(qint64, newSize);
    QVERIFY(testfiles::Write(path("image.bin"), testfiles::Pattern(2 << 20)));
    QVERIFY(testfiles::Write(path("out"), "older"));
    const SourceRead source = OpenSourceFile(path("image.bin"), 1 << 26);
    QVERIFY(QFile(path("image.bin")).resize(newSize));
    ChunkedBytes bytes;
    bytes.append(source);
    const WriteOutcome outcome = WritePackageFile(path("out"), bytes, CrcField{0, 0});
    QCOMPARE(outcome.status, WriteOutcome::SourceFailed);
    QCOMPARE(outcome.sourcePath, path("image.bin"));
    QCOMPARE(testfiles::Read(path("out")), QByteArray("older"));
    QCOMPARE(testfiles::Entries(m_dir->path()), (QStringList{"image.bin", "out"}));
}

void TestPackageFile::outputFails() {
    ChunkedBytes bytes;
    bytes.append(QByteArray("x"));
    QVERIFY(QDir(m_dir->path()).mkdir("folder"));
    QCOMPARE(WritePackageFile(path("folder"), bytes).status, WriteOutcome::OutputFailed);
    QCOMPARE(WritePackageFile(path("missing/out"), bytes).status, WriteOutcome::OutputFailed);
    QCOMPARE(testfiles::Entries(m_dir->path()), QStringList{"folder"});
    QCOMPARE(testfiles::Entries(path("folder")), QStringList());
}

void TestPackageFile::plainName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("plain");
    QTest::newRow("label") << "5e3a71123458" << true;
    QTest::newRow("MAC") << "MAC" << true;
    QTest::newRow("dots inside") << "a..b" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("tab") << "a\tb" << false;
    QTest::newRow("NUL") << QString(QChar(0)) << false;
    QTest::newRow("DEL") << "a\x7f" << false;
}

void TestPackageFile::plainName() {
    QFETCH(QString, name);
    QTEST(IsPlainFileName(name), "plain");
}

QTEST_GUILESS_MAIN(TestPackageFile)
#include "tst_packagefile.moc"

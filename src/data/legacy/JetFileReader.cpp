#include "JetFileReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

namespace lumaro::legacy {

namespace {

const char* const kReaderName = "lumaro-mdbreader";

// The reader's last words on stderr, which name what went wrong (libmdb's warnings
// per damaged row come before them).
QString lastLine(const QByteArray& bytes)
{
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString s = lines.isEmpty() ? QString() : lines.last().trimmed();
    if (s.size() > 200)
        s = s.left(200) + QStringLiteral("…");
    return s;
}

} // namespace

QString JetFileReader::locateReader()
{
    const QString fromEnv = qEnvironmentVariable("LUMARO_MDBREADER");
    if (!fromEnv.isEmpty())
        return fromEnv;
    QStringList candidates;
#ifndef LUMARO_READER_INSTALLED_ONLY
    // A build tree: the reader sits beside the programs, or in the build's bin.
    if (QCoreApplication::instance()) {
        const QString dir = QCoreApplication::applicationDirPath();
        candidates << dir + QLatin1Char('/') + QLatin1String(kReaderName)
                   << dir + QStringLiteral("/../libexec/lumaro/") + QLatin1String(kReaderName);
    }
#endif
    // An installed program runs only the reader it was installed with.
#ifdef LUMARO_READER_INSTALL_DIR
    candidates << QStringLiteral(LUMARO_READER_INSTALL_DIR "/") + QLatin1String(kReaderName);
#endif
#ifdef LUMARO_READER_BUILD_DIR
    candidates << QStringLiteral(LUMARO_READER_BUILD_DIR "/") + QLatin1String(kReaderName);
#endif
    for (const QString& c : candidates) {
        QFileInfo fi(c);
        if (fi.isFile() && fi.isExecutable())
            return QDir::cleanPath(fi.absoluteFilePath());
    }
    return {};
}

JetFileReader::JetFileReader(QString readerPath) : m_reader(std::move(readerPath)) {}

JetReadResult JetFileReader::read(const QString& mdbPath, const QStringList& tables) const
{
    JetReadResult result;
    const QString shown = QDir::toNativeSeparators(mdbPath);
    auto failed = [&](const QString& why) {
        result.ok = false;
        result.error = why;
        result.contents = {};
        return result;
    };

    const QFileInfo source(mdbPath);
    if (!source.exists())
        return failed(QStringLiteral("找不到舊資料檔「%1」。").arg(shown));
    if (!source.isFile() || !source.isReadable())
        return failed(QStringLiteral("無法讀取舊資料檔「%1」：不是可讀取的檔案。").arg(shown));
    if (m_reader.isEmpty() || !QFileInfo(m_reader).isExecutable())
        return failed(
            QStringLiteral("找不到讀取舊資料檔的程式 %1，請重新安裝本程式。").arg(QLatin1String(kReaderName)));

    QStringList args;
    if (!m_charset.isEmpty())
        args << QStringLiteral("--charset") << m_charset;
    args << source.absoluteFilePath() << tables;

    StreamParser::Limits limits;
    limits.maxTotal = 512ull << 20;
    StreamParser parser(limits);
    if (onProgress) {
        parser.onProgress = [this](const std::string& table, std::uint64_t rows, std::uint64_t count) {
            onProgress(QString::fromStdString(table), qint64(rows), qint64(count));
        };
    }

    QProcess proc;
    proc.setProgram(m_reader);
    proc.setArguments(args);
    proc.start(QIODevice::ReadOnly);
    if (!proc.waitForStarted(10000))
        return failed(QStringLiteral("無法啟動讀取舊資料檔的程式：%1").arg(proc.errorString()));

    QByteArray errTail;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    auto drain = [&] {
        const QByteArray out = proc.readAllStandardOutput();
        if (!out.isEmpty()) {
            sinceProgress.restart();
            parser.feed(out.constData(), std::size_t(out.size()));
        }
        // libmdb can print a warning per damaged row; keep only the last words.
        errTail += proc.readAllStandardError();
        if (errTail.size() > 4096)
            errTail = errTail.right(2048);
    };
    bool stalled = false;
    bool refused = false; // we stopped a reader that sent garbage
    while (proc.state() != QProcess::NotRunning) {
        proc.waitForReadyRead(200);
        drain();
        if (parser.state() == StreamParser::State::Malformed) {
            refused = true;
            break;
        }
        if (sinceProgress.elapsed() > m_stallMsecs) {
            stalled = true;
            break;
        }
    }
    if (proc.state() != QProcess::NotRunning) {
        proc.kill();
        proc.waitForFinished(5000);
    } else {
        drain();
    }

    const QString last = lastLine(errTail);
    const QString detail = last.isEmpty() ? QString() : QStringLiteral("\n（%1）").arg(last);
    if (stalled)
        return failed(QStringLiteral("讀取舊資料檔「%1」超過 %2 秒沒有進展，已停止；檔案可能已損壞。")
                          .arg(shown)
                          .arg(m_stallMsecs / 1000));
    if (parser.state() == StreamParser::State::ReaderFailed)
        return failed(QStringLiteral("無法讀取舊資料檔「%1」：%2").arg(shown, QString::fromStdString(parser.error())));
    if (refused || (parser.state() == StreamParser::State::Malformed && proc.exitStatus() == QProcess::NormalExit))
        return failed(QStringLiteral("讀取舊資料檔「%1」時收到不正確的資料（%2），檔案可能已損壞。")
                          .arg(shown, QString::fromStdString(parser.error())));
    if (proc.exitStatus() == QProcess::CrashExit)
        return failed(QStringLiteral("讀取舊資料檔「%1」時讀取程式異常結束，檔案可能已損壞。").arg(shown) + detail);
    if (proc.exitCode() != 0 || !parser.finished())
        return failed(QStringLiteral("讀取舊資料檔「%1」沒有完成（結束代碼 %2），檔案可能已損壞。")
                          .arg(shown)
                          .arg(proc.exitCode()) +
                      detail);

    result.ok = true;
    result.contents = parser.takeContents();
    return result;
}

} // namespace lumaro::legacy

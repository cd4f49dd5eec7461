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

// How the reader's run ended, as the loop that read it saw it.
struct ReaderEnd {
    QByteArray errTail;   // the end of its standard error
    bool stalled = false; // it sent nothing for too long and was stopped
    bool refused = false; // we stopped a reader that sent garbage
};

// Feeds what the running reader writes to parser until it ends; stops it when
// it sends garbage or nothing for longer than stallMsecs.
ReaderEnd pumpReader(QProcess& proc, StreamParser& parser, int stallMsecs)
{
    ReaderEnd end;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    auto drain = [&] {
        const QByteArray out = proc.readAllStandardOutput();
        if (!out.isEmpty()) {
            sinceProgress.restart();
            parser.feed(out.constData(), std::size_t(out.size()));
        }
        // libmdb can print a warning per damaged row; keep only the last words.
        end.errTail += proc.readAllStandardError();
        if (end.errTail.size() > 4096)
            end.errTail = end.errTail.right(2048);
    };
    while (proc.state() != QProcess::NotRunning) {
        proc.waitForReadyRead(200);
        drain();
        if (parser.state() == StreamParser::State::Malformed) {
            end.refused = true;
            break;
        }
        if (sinceProgress.elapsed() > stallMsecs) {
            end.stalled = true;
            break;
        }
    }
    if (proc.state() != QProcess::NotRunning) {
        proc.kill();
        proc.waitForFinished(5000);
    } else {
        drain();
    }
    return end;
}

// Why the read failed, in the owner's words, or empty when it succeeded.
QString readerFailure(const QString& shown, const QProcess& proc, const StreamParser& parser, const ReaderEnd& end,
                      int stallMsecs)
{
    const QString last = lastLine(end.errTail);
    const QString detail = last.isEmpty() ? QString() : QStringLiteral("\n（%1）").arg(last);
    if (end.stalled)
        return QStringLiteral("讀取舊資料檔「%1」超過 %2 秒沒有進展，已停止；檔案可能已損壞。")
            .arg(shown)
            .arg(stallMsecs / 1000);
    if (parser.state() == StreamParser::State::ReaderFailed)
        return QStringLiteral("無法讀取舊資料檔「%1」：%2").arg(shown, QString::fromStdString(parser.error()));
    if (end.refused || (parser.state() == StreamParser::State::Malformed && proc.exitStatus() == QProcess::NormalExit))
        return QStringLiteral("讀取舊資料檔「%1」時收到不正確的資料（%2），檔案可能已損壞。")
            .arg(shown, QString::fromStdString(parser.error()));
    if (proc.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("讀取舊資料檔「%1」時讀取程式異常結束，檔案可能已損壞。").arg(shown) + detail;
    if (proc.exitCode() != 0 || !parser.finished())
        return QStringLiteral("讀取舊資料檔「%1」沒有完成（結束代碼 %2），檔案可能已損壞。")
                   .arg(shown)
                   .arg(proc.exitCode()) +
               detail;
    return {};
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

    const ReaderEnd end = pumpReader(proc, parser, m_stallMsecs);
    const QString why = readerFailure(shown, proc, parser, end, m_stallMsecs);
    if (!why.isEmpty())
        return failed(why);

    result.ok = true;
    result.contents = parser.takeContents();
    return result;
}

} // namespace lumaro::legacy

#include "FileDownload.h"

#include "Link.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

FileDownload::FileDownload(const QByteArray& fileName, qint32 size, Medium medium)
    : m_fileName(fileName), m_size(size), m_medium(medium)
{
}

namespace {

// A write that stops part-way (disk full, file-size limit) leaves no reason behind; trying
// the rest once more meets the failure itself, with the system's reason.
bool flushed(QFile& file)
{
    return file.flush() || file.flush();
}

} // namespace

Task<FileDownload::Result> FileDownload::run(Job& job, FileDownload d, QString targetPath,
                                             qint32 start)
{
    Result result;
    QFile file(targetPath);
    // ReadWrite keeps what is there (WriteOnly would truncate) and creates a missing file.
    // A device such as /dev/full cannot seek; it needs no seek to start at its beginning.
    if (!file.open(QIODevice::ReadWrite) ||
        (qint64(start) - 1 != file.pos() && !file.seek(qint64(start) - 1))) {
        result.status = Status::FileError;
        result.reason = file.errorString();
        co_return result;
    }
    qint64 pos = start;
    while (pos <= d.m_size) {
        const qint64 end = std::min<qint64>(pos + BlockSize - 1, d.m_size);
        const Link::Reply block =
            co_await job.fetchBlock(d.m_fileName, qint32(pos), qint32(end), d.m_medium);
        if (block.result != Link::Result::Complete) {
            result.status = Status::CommunicationError;
            break;
        }
        const qint64 n = end - pos + 1;
        // Flushed per block: what is reported as written is on its way to the disk, and a
        // failure shows at the block that caused it.
        if (file.write(block.text.constData() + 1, n) != n || !flushed(file)) {
            result.status = Status::FileError;
            result.reason = file.errorString();
            break;
        }
        result.bytesWritten += n;
        if (d.m_progress)
            d.m_progress(qint32(end));
        pos = end + 1;
    }
    file.close();
    if (result.status == Status::Complete && file.error() != QFileDevice::NoError) {
        result.status = Status::FileError;
        result.reason = file.errorString();
    }
    co_return result;
}

Task<FileDownload::Match> FileDownload::checkResume(Job& job, FileDownload d, QString targetPath,
                                                    qint32 start)
{
    const qint32 last = start - 1;
    if (last < 1)
        co_return Match::Same;
    const qint32 k = std::min(last, CheckSize);
    const Link::Reply block = co_await job.fetchBlock(d.m_fileName, last - k + 1, last, d.m_medium);
    if (block.result != Link::Result::Complete)
        co_return Match::CommunicationError;
    QFile file(targetPath);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qint64(last) - k))
        co_return Match::FileError;
    const QByteArray local = file.read(k);
    if (local.size() != k)
        co_return Match::FileError;
    co_return local == block.text.mid(1, k) ? Match::Same : Match::Different;
}

FileDownload::Decision FileDownload::plan(const QString& targetPath, qint32 size, bool resume)
{
    if (!QFileInfo::exists(targetPath))
        return {};
    if (!resume)
        return {Plan::AskOverwrite};
    const qint64 resumeAt = resumePosition(targetPath);
    if (qint64(size) < resumeAt)
        return {Plan::LocalNotShorter};
    return {Plan::Start, qint32(resumeAt)};
}

qint64 FileDownload::resumePosition(const QString& targetPath)
{
    const QFileInfo info(targetPath);
    return info.exists() ? info.size() + 1 : 1;
}

QString FileDownload::nameProblem(const QByteArray& name)
{
    if (name.isEmpty())
        return QStringLiteral("the name is empty");
    if (name == "." || name == "..")
        return QStringLiteral("\"%1\" names a directory").arg(QString::fromLatin1(name));
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return QStringLiteral("the name contains the control character 0x%1")
                .arg(u, 2, 16, QLatin1Char('0'));
        if (c == '/' || c == '\\' || c == ':')
            return QStringLiteral("the name contains \"%1\"").arg(QLatin1Char(c));
    }
    return {};
}

bool FileDownload::parseSize(const QByteArray& text, qint32* size)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    const qint64 value = text.toLongLong();
    if (value > std::numeric_limits<qint32>::max())
        return false;
    *size = qint32(value);
    return true;
}

QString FileDownload::targetPath(const QString& directory, const QByteArray& name)
{
#ifdef Q_OS_WIN
    const bool ends = directory.endsWith(QLatin1Char('\\')) || directory.endsWith(QLatin1Char('/'));
    const QString separator = QStringLiteral("\\");
#else
    const bool ends = directory.endsWith(QLatin1Char('/'));
    const QString separator = QStringLiteral("/");
#endif
    return directory + (ends ? QString() : separator) + QString::fromLatin1(name);
}

Task<DownloadOutcome> DownloadFile(Job& job, DownloadRequest request)
{
    using Status = DownloadOutcome::Status;
    DownloadOutcome out;
    // The name comes from the instrument and becomes part of a local path: it may name a
    // file in the chosen directory and nothing else.
    out.reason = FileDownload::nameProblem(request.name);
    if (!out.reason.isEmpty()) {
        out.status = Status::NameProblem;
        co_return out;
    }
    if (!FileDownload::parseSize(request.sizeText, &out.size)) {
        out.status = Status::BadSize;
        co_return out;
    }
    out.target = FileDownload::targetPath(request.directory, request.name);
    const FileDownload download(request.name, out.size, request.medium);
    if (request.replace) {
        QFile old(out.target);
        if (old.exists() && !old.remove()) {
            out.status = Status::CannotDelete;
            out.reason = old.errorString();
            co_return out;
        }
    } else {
        const FileDownload::Decision decision =
            FileDownload::plan(out.target, out.size, request.resume);
        if (decision.plan == FileDownload::Plan::LocalNotShorter) {
            out.status = Status::LocalNotShorter;
            co_return out;
        }
        if (decision.plan == FileDownload::Plan::AskOverwrite) {
            out.status = Status::AskOverwrite;
            co_return out;
        }
        out.start = decision.start;
        if (out.start > 1) {
            switch (co_await FileDownload::checkResume(job, download, out.target, out.start)) {
            case FileDownload::Match::Same:
                break;
            case FileDownload::Match::CommunicationError:
                out.status = Status::CheckFailed;
                co_return out;
            case FileDownload::Match::FileError:
                out.status = Status::CannotReadLocal;
                co_return out;
            case FileDownload::Match::Different:
                out.status = Status::AskRestart;
                co_return out;
            }
        }
    }
    FileDownload run = download;
    if (request.progress)
        run.setProgress([progress = request.progress, start = out.start,
                         size = out.size](qint32 end) { progress(start, end, size); });
    if (request.progress)
        request.progress(out.start, out.start - 1, out.size);
    const FileDownload::Result result = co_await FileDownload::run(job, run, out.target, out.start);
    out.reason = result.reason;
    switch (result.status) {
    case FileDownload::Status::Complete:
        out.status = Status::Complete;
        break;
    case FileDownload::Status::CommunicationError:
        out.status = Status::CommunicationError;
        break;
    case FileDownload::Status::FileError:
        out.status = Status::FileError;
        break;
    }
    co_return out;
}

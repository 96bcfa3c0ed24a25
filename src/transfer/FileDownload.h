#pragma once

#include <QByteArray>
#include <QString>

#include "Job.h"
#include "Medium.h"
#include "Task.h"

#include <functional>

// Copies one stored file into a local file, block by block, from a given position on: the
// download loop of the download window, usable without it. The local file is written as
// the blocks come and flushed after each, so a download that stops for any reason leaves a
// correct prefix that a later run can continue.
class FileDownload
{
public:
    static constexpr qint32 BlockSize = 1000;

    enum class Status
    {
        Complete,           // every byte up to the stored size is in the file
        CommunicationError, // a block fetch failed
        FileError           // the local file could not be opened or written
    };
    struct Result
    {
        Status status = Status::Complete;
        qint64 bytesWritten = 0; // by this run
        QString reason;          // FileError: the system's reason
    };

    // size: the stored size in bytes.
    FileDownload(const QByteArray& fileName, qint32 size, Medium medium);

    // Called after each block written, with the position of its last byte.
    void setProgress(std::function<void(qint32 end)> progress) { m_progress = std::move(progress); }

    // Before continuing a local copy: does its end hold the same bytes as the stored file at
    // the same positions? Without this a resume could join two different files.
    enum class Match
    {
        Same,
        Different,
        CommunicationError, // the fetch failed
        FileError           // the local file could not be read
    };
    // Compares the last min(start - 1, CheckSize) bytes before start, with one fetch. The
    // job's coroutine holds a copy of the download, so it needs nothing of the caller's.
    static Task<Match> checkResume(Job& job, FileDownload download, QString targetPath,
                                   qint32 start);
    static constexpr qint32 CheckSize = 64;

    // Writes bytes start to size (1-based) at the same positions of the local file, which
    // is created if missing and otherwise keeps its content.
    static Task<Result> run(Job& job, FileDownload download, QString targetPath, qint32 start);

    // Where a resume of this local file starts: its length + 1 (1 when there is none).
    static qint64 resumePosition(const QString& targetPath);

    // What to do about the local file before a download of a file of size bytes.
    enum class Plan
    {
        Start,          // no local file, or a shorter one to continue: from start on
        AskOverwrite,   // a local file exists and is not to be continued
        LocalNotShorter // the local file is as long as the stored one or longer: nothing to add
    };
    struct Decision
    {
        Plan plan = Plan::Start;
        qint32 start = 1;
    };
    static Decision plan(const QString& targetPath, qint32 size, bool resume);
    // Why the instrument's file name cannot be used as a local file name in a chosen
    // directory; empty when it can.
    static QString nameProblem(const QByteArray& name);
    // The stored size as listed: decimal digits only, within the block positions' range.
    static bool parseSize(const QByteArray& text, qint32* size);
    // The directory, a separator unless it already ends in one, and the file name.
    static QString targetPath(const QString& directory, const QByteArray& name);

private:
    QByteArray m_fileName;
    qint32 m_size = 0;
    Medium m_medium = Medium::Card;
    std::function<void(qint32)> m_progress;
};

// A download as the user asks for it: a file of a listing into a folder. The decisions about
// the local file are made here once for every front end; where the user must decide, the job
// ends asking, and the front end submits it again with the answer.
struct DownloadRequest
{
    QByteArray name;
    QByteArray sizeText; // the size as listed
    QString directory;
    Medium medium = Medium::Card;
    bool resume = false;  // continue a shorter local copy
    bool replace = false; // the user agreed to replace the local file: start afresh
    std::function<void(qint32 start, qint32 end, qint32 size)> progress; // start: of this run
};

struct DownloadOutcome
{
    enum class Status
    {
        Complete,
        NameProblem,        // reason: why the name cannot be a local file name
        BadSize,            // the listed size is no number of bytes
        LocalNotShorter,    // nothing to continue
        AskOverwrite,       // a local file exists and is not to be continued
        AskRestart,         // the local copy's end differs from the stored file
        CannotDelete,       // reason: the system's
        CheckFailed,        // the fetch that checks the local copy's end failed
        CannotReadLocal,    // the local copy could not be read for that check
        CommunicationError, // a block did not arrive
        FileError           // reason: the local file could not be written
    };
    Status status = Status::Complete;
    QString target;
    QString reason;
    qint32 size = 0;
    qint32 start = 1;
    bool asks() const { return status == Status::AskOverwrite || status == Status::AskRestart; }
};

Task<DownloadOutcome> DownloadFile(Job& job, DownloadRequest request);

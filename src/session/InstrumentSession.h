#pragma once

#include "CommPort.h"
#include "Connect.h"
#include "Conversation.h"
#include "Job.h"
#include "Link.h"
#include "ModSet.h"
#include "SendSettings.h"
#include "Task.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

// What a connection needs: the port, its speed, and for a modem what to dial.
struct ConnectRequest
{
    int port = 1;
    QString settings = QStringLiteral("9600,n,8,1");
    bool modem = false;
    QByteArray init;
    QByteArray number;
};

struct ConnectOutcome
{
    enum class Status
    {
        Connected,
        OpenFailed, // the port could not be opened: error says why
        NoAnswer    // the connection test or the dial failed; the port is closed again
    };
    Status status = Status::NoAnswer;
    QString error;
    QByteArray lastReply;
    bool connected() const { return status == Status::Connected; }
};

// The one owner of the instrument for the whole run of the program: the port, the link, the
// settings record, whether the settings have been received over this connection, and the
// connection state. Front ends submit jobs to it and show what the jobs give back; a job
// submitted while another holds the link is refused as busy by its first transaction.
class InstrumentSession : public QObject
{
    Q_OBJECT
public:
    explicit InstrumentSession(std::unique_ptr<CommPort> port, QObject* parent = nullptr);
    ~InstrumentSession() override;

    CommPort& port() { return *m_port; }
    Link& link() { return *m_link; }
    // The settings record: zeroed once at start, kept over a Disconnect.
    ModSet& settings() { return m_settings; }
    bool settingsReceived() const { return m_received; }
    bool connected() const { return m_connected; }
    // The last command line written by any job, CR LF included.
    QByteArray lastSent() const { return m_link->LastSent(); }
    // No job is running, paused or waiting to deliver its result.
    bool idle() const;

    // Runs make(job) as a job owned by owner (may be null); done gets its result from the
    // event loop, unless the job was cancelled first.
    template <class R>
    Job* submit(QObject* owner, std::function<Task<R>(Job&)> make, std::function<void(R)> done)
    {
        Job* job = newJob(owner);
        // Kept with the job: a coroutine lambda's captures live in the lambda, not its frame.
        auto kept = std::make_shared<std::function<Task<R>(Job&)>>(std::move(make));
        job->keep(kept);
        job->run<R>((*kept)(*job), std::move(done));
        return job;
    }
    // Cancels every job owner submitted: nothing more is written and no result is shown.
    void cancelJobsOf(QObject* owner);
    void cancelAll();

    // Where the jobs' messages go; without a handler a message is taken as closed at once.
    using MessageHandler = std::function<void(Job& job, MessageKind kind, const QString& text)>;
    void setMessageHandler(MessageHandler handler) { m_messages = std::move(handler); }
    // How long a job's fixed pause really lasts (tests shorten it); default: as asked.
    void setPauseLength(std::function<int(int)> f) { m_pauseLength = std::move(f); }

    // --- the flows every front end shares

    // Opens the port and runs the connection test or the dial; a failure leaves it closed.
    // connectFlow is the same flow as a step of a larger job.
    Task<ConnectOutcome> connectFlow(Job& job, ConnectRequest request);
    Job* connectInstrument(QObject* owner, const ConnectRequest& request,
                           std::function<void(ConnectOutcome)> done);
    // Closes the port (a modem hangs up when DTR drops); the settings record stays.
    void disconnectInstrument();
    // Receives every setting into the record; on success they count as received.
    Task<Outcome> receiveFlow(Job& job);
    Job* receiveSettings(QObject* owner, std::function<void(Outcome)> done);
    // Sends the record as it is at each step.
    Job* sendSettings(QObject* owner, SendSettingsInputs inputs,
                      std::function<void(SendResult)> done);
    // The program is closing: nothing more is written and a waiting transaction ends now.
    void shutdown();

signals:
    // A job holds the link (true), or nothing does (false).
    void lineBusy(bool busy);

private:
    Job* newJob(QObject* owner);

    std::unique_ptr<CommPort> m_port;
    std::unique_ptr<Link> m_link;
    ModSet m_settings;
    bool m_received = false;
    bool m_connected = false;
    QList<QPointer<Job>> m_jobs;
    MessageHandler m_messages;
    std::function<int(int)> m_pauseLength;
};

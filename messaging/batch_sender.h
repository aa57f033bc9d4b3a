#pragma once
// One text to several hosts without a window: each host gets a connection of its own carrying
// the bytes exactly as the send window writes them, a few hosts at a time, each attempt bounded
// in time. No error reaches a box; each ends as that host's outcome.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

struct SendOutcome {
    QString host;
    bool delivered = false;
    QString reason; // what went wrong, in words; empty when delivered
    QString error;  // what the send window's error box would say
};

class BatchSender : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultParallel = 8;

    BatchSender(const QStringList& hosts, const QByteArray& payload, int port, int timeoutMs,
                QObject* parent = nullptr);
    ~BatchSender() override;

    void setParallel(int count) { parallel_ = qMax(1, count); }

    // Starts the attempts; the outcomes come from the event loop, never from inside this call.
    void start();
    bool finished() const { return done_ == hosts_.size(); }
    // In the order the attempts ended.
    const QList<SendOutcome>& outcomes() const { return outcomes_; }

    std::function<void(const SendOutcome& outcome)> OnHostDone;
    std::function<void()> OnFinished;

private:
    class Attempt;
    friend class Attempt;

    void startNext();
    void attemptDone(Attempt* attempt, const SendOutcome& outcome);

    QStringList hosts_;
    QByteArray payload_;
    int port_;
    int timeoutMs_;
    int parallel_ = DefaultParallel;
    int next_ = 0;
    int done_ = 0;
    QList<SendOutcome> outcomes_;
};

#pragma once

#include "upkeep/Backups.h"

#include <QPointer>

#include <atomic>
#include <functional>
#include <thread>

class QObject;

namespace lumaro {

// Today's backup of a shop file taken on a thread of its own, over a
// connection of its own: a read transaction in WAL mode holds no writer up,
// so the counter keeps storing moves while the copy is written. The copy is
// the shop as it stood when the backup began. Everything takeDailyBackup
// promises holds: one backup a day however many terminals start one, none
// half written under its real name, the folder owner-only, the rotation.
class BackgroundBackup {
public:
    struct Outcome {
        QString path;  // the backup written; empty when today's was already there
        QString error; // why it failed, in Chinese; empty when it did not
        bool stopped = false;
    };

    // Starts the backup of the shop file target. done is called on context's
    // thread once it is over, unless context is gone by then or stop() ran.
    BackgroundBackup(const QString& target, const QDate& today, const BackupKeep& keep, QObject* context,
                     std::function<void(const Outcome&)> done);
    // Stops a backup under way and waits for its thread.
    ~BackgroundBackup();
    BackgroundBackup(const BackgroundBackup&) = delete;
    BackgroundBackup& operator=(const BackgroundBackup&) = delete;

    // Gives up a backup under way (its temporary file is removed, nothing is
    // listed) and waits for its thread; done is not called. For the end of
    // the program. Safe to call more than once.
    void stop() noexcept;
    bool running() const { return !m_finished.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

} // namespace lumaro

#include "upkeep/BackgroundBackup.h"

#include "data/Database.h"
#include "platform/Failure.h"

#include <QMetaObject>
#include <QObject>

namespace lumaro {

BackgroundBackup::BackgroundBackup(const QString& target, const QDate& today, const BackupKeep& keep, QObject* context,
                                   std::function<void(const Outcome&)> done)
{
    QPointer<QObject> receiver(context);
    m_thread = std::thread([this, target, today, keep, receiver, done = std::move(done)] {
        Outcome o;
        try {
            // The thread's own connection, closed before the thread ends:
            // Qt's connections belong to the thread that made them.
            auto db = Database::openReadOnly(target);
            db->onProgress([this] { return m_stop.load(); });
            o.path = takeDailyBackup(*db, today, keep);
        } catch (const Failure& e) {
            o.error = e.description();
        } catch (const std::exception& e) {
            o.error = QString::fromLocal8Bit(e.what());
        }
        o.stopped = m_stop.load();
        m_finished = true;
        if (!o.stopped && receiver)
            QMetaObject::invokeMethod(
                receiver.data(),
                [receiver, done, o] {
                    if (receiver)
                        done(o);
                },
                Qt::QueuedConnection);
    });
}

BackgroundBackup::~BackgroundBackup() { stop(); }

void BackgroundBackup::stop() noexcept
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace lumaro

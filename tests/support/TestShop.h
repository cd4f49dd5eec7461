#pragma once

#include "data/Database.h"
#include "platform/ScriptedPrompts.h"

#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>

namespace lumaro::test {

// A fresh shop for one test: a new file in a temporary folder, made with the
// same code as `lumaro-admin init`, plus a small builder to fill it and SQL
// helpers to check what ended up stored.
//
// With LUMARO_TEST_PG set to a postgresql:// URL of a server where its user
// may create databases, each shop is instead a new database on that server,
// made with the same code and dropped afterwards; path() is then its URL.
class TestShop {
public:
    explicit TestShop(const QString& password = QStringLiteral("secret"));
    ~TestShop();

    // The server named by LUMARO_TEST_PG, or empty for shop files.
    static QString postgresServer();
    static bool onPostgres() { return !postgresServer().isEmpty(); }

    Database& db() { return *m_db; }
    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }

    TestShop& tea(const QString& number, const QString& name, const QVariant& cost, const QVariant& price,
                  const QVariant& stock);
    qlonglong order(const QString& customer, const QString& contact = QString(), int status = 0);
    qlonglong line(qlonglong order, const QString& tea, int quantity);
    TestShop& balances(const QVariant& cash, const QVariant& bank);
    TestShop& password(const QVariant& value); // null for a missing password

    // Makes writes fail with message, as a disk or server fault would, on
    // either database: when is "BEFORE INSERT", "BEFORE UPDATE OF 現金" and
    // the like. dropFailure() takes it away again.
    void failWrites(const QString& trigger, const QString& when, const QString& table, const QString& message);
    void dropFailure(const QString& trigger, const QString& table);

    // Runs sql past the schema's own guards, as another tool could write into
    // the shop: infinity() in a number column, say.
    void plant(const QString& sql);
    // Infinity as either database takes it in SQL text.
    static QString infinity() { return onPostgres() ? QStringLiteral("'Infinity'") : QStringLiteral("9e999"); }

    QVariant scalar(const QString& sql, const QVariantList& params = {});
    QList<QVariantList> rows(const QString& sql, const QVariantList& params = {});
    void exec(const QString& sql, const QVariantList& params = {});

    double cash();
    double bank();
    double stock(const QString& tea);

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_pgDatabase; // the database to drop afterwards
    std::unique_ptr<Database> m_db;
};

// Installs scripted prompts for as long as it lives.
class PromptScope {
public:
    PromptScope();
    ~PromptScope();
    ScriptedPrompts& operator*() { return m_prompts; }
    ScriptedPrompts* operator->() { return &m_prompts; }
    ScriptedPrompts* get() { return &m_prompts; }

private:
    ScriptedPrompts m_prompts;
};

// Scripted prompts that let a test act as a second terminal while a question
// with the given title is on the screen: meanwhile runs once, before the
// question is answered.
class WhileAsking : public ScriptedPrompts {
public:
    explicit WhileAsking(const QString& title) : m_title(title) { setPrompts(this); }
    ~WhileAsking() override { setPrompts(nullptr); }
    std::function<void()> meanwhile;
    Answer message(const QString& text, Buttons buttons, const QString& title) override
    {
        if (title == m_title && meanwhile)
            std::exchange(meanwhile, nullptr)();
        return ScriptedPrompts::message(text, buttons, title);
    }

private:
    QString m_title;
};

} // namespace lumaro::test

#pragma once

#include <QString>
#include <stdexcept>

namespace lumaro {

// A failure that carries the text the user should see. Every error the program
// raises on purpose derives from it, so the handler boundary can show the text
// exactly as it was given.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& description)
        : std::runtime_error(description.toStdString()), m_description(description)
    {
    }
    const QString& description() const noexcept { return m_description; }

private:
    QString m_description;
};

} // namespace lumaro

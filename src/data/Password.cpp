#include "data/Password.h"

namespace lumaro {

bool passwordMatches(const QVariant& stored, const QString& entered)
{
    if (!stored.isValid() || stored.isNull())
        return false;
    return stored.toString() == entered;
}

} // namespace lumaro

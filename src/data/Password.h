#pragma once

#include <QVariant>

namespace lumaro {

// Whether the entered text opens the shop, given the value stored in the
// password table. The comparison is exact and case-sensitive; an empty stored
// password is matched by an empty entry, and a missing (null) one by nothing.
bool passwordMatches(const QVariant& stored, const QString& entered);

} // namespace lumaro

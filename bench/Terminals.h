#pragma once

#include <QString>

namespace bench {

// Several terminals at once on one shop: each a thread with a connection of
// its own, making checkouts of its own open orders and stock purchases in
// turn through the functions the screens call, as fast as it can. Prints each
// move's time at the median, the 99th percentile and the slowest, the moves
// per second and the errors, then whether the cash, the stock and the
// journal moved by exactly what the stored moves say. Returns the exit code:
// 0 only with no error and balanced books.
struct Load {
    QString target; // a shop file or a postgresql:// URL
    int terminals = 8;
    int movesEach = 200;
    bool json = false;
};
int runTerminals(const Load& load);

} // namespace bench

#pragma once

#include <functional>

namespace lumaro {

// The boundary every event handler runs inside: no exception ever leaves a Qt
// slot. A failure ends the handler at the failing step and its description is
// shown in a message box titled with the program's title; the program goes on.
void runHandler(const std::function<void()>& body);

// Wraps a handler for connect(): connect(button, &QPushButton::clicked, this,
// handler([this] { cmdAdd_Click(); }));
template <class F>
auto handler(F body)
{
    return [body]() { runHandler(body); };
}

} // namespace lumaro

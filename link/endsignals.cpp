#include "link/endsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_pair[2] = {-1, -1};

void WriteSignal(int number)
{
    // Only async-signal-safe calls here: one write of one byte.
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(g_pair[0], &byte, 1);
}
} // namespace

EndSignals::EndSignals(std::initializer_list<int> signalNumbers, QObject *parent)
    : QObject(parent), m_signals(signalNumbers)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::readSignal);
    struct sigaction action = {};
    action.sa_handler = WriteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : m_signals)
        ::sigaction(number, &action, nullptr);
}

EndSignals::~EndSignals()
{
    for (const int number : m_signals)
        ::signal(number, SIG_DFL);
    for (int &fd : g_pair) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void EndSignals::readSignal()
{
    char byte = 0;
    if (::read(g_pair[1], &byte, 1) == 1)
        emit endRequested(int(byte));
}

#include "floor.h"
#include "measure.h"
#include <stdexcept>
#include <vector>

namespace bench {

FloorClient::FloorClient(uint16_t port) : m_Socket(socket(AF_INET, SOCK_STREAM, 0))
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_Socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closesocket(m_Socket);
        throw std::runtime_error("floor: cannot connect");
    }
}

FloorClient::~FloorClient()
{
    closesocket(m_Socket);
}

bool FloorClient::Ready(bool write, long seconds, long microseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(m_Socket, &set);
    timeval timeout{seconds, microseconds};
    return select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &timeout) > 0;
}

std::string FloorClient::Exchange(const std::string& request, int timeoutMs)
{
    char buffer[1024];
    if (Ready(false, 0, 1000))
        recv(m_Socket, buffer, sizeof buffer, 0);
    if (!Ready(true, 1, 0))
        return std::string();
    send(m_Socket, request.data(), static_cast<int>(request.size()), 0);
    if (!Ready(false, timeoutMs / 1000, (timeoutMs % 1000) * 1000))
        return std::string();
    const int got = recv(m_Socket, buffer, sizeof buffer, 0);
    return std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0);
}

LONGLONG FloorClient::ReadAll(const std::string& request, size_t bytes, int chunk)
{
    std::vector<char> buffer(static_cast<size_t>(chunk));
    send(m_Socket, request.data(), static_cast<int>(request.size()), 0);
    if (!Ready(false, 5, 0))
        return 0;
    for (size_t total = 0; total < bytes;) {
        const int got = recv(m_Socket, buffer.data(), chunk, 0);
        if (got <= 0)
            return 0;
        total += static_cast<size_t>(got);
    }
    return Now();
}

} // namespace bench

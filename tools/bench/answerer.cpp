#include "answerer.h"
#include "measure.h"
#include <stdexcept>

namespace bench {

namespace {

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

SOCKET Connect(uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return s;
}

} // namespace

Answerer::Answerer()
    : m_Listener(INVALID_SOCKET), m_Port(0), m_Stop(false), m_Ink(50), m_Stalled(false), m_Live(0), m_Requests(0),
      m_LastLogSent(0)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_Listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(m_Listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_Listener, SOMAXCONN) != 0 ||
        getsockname(m_Listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("answerer: cannot listen");
    m_Port = ntohs(address.sin_port);
    m_Log = Bytes({0x84, 0x00});
    for (uint32_t i = 0; m_Log.size() < kLogAnswerBytes; ++i)
        m_Log += static_cast<char>(i % 251);
    m_Thread = std::thread(&Answerer::Run, this);
}

Answerer::~Answerer()
{
    m_Stop = true;
    closesocket(Connect(m_Port)); // wakes the readiness wait
    m_Thread.join();
    for (Peer& peer : m_Peers)
        closesocket(peer.socket);
    closesocket(m_Listener);
    WSACleanup();
}

std::string Answerer::AnswerTo(uint8_t command) const
{
    switch (command) {
    case 1: return Bytes({0x81, 0x00, m_Ink.load()});
    case 2: return Bytes({0x82, 0x00, 90});
    case 3: return Bytes({0x83, 0x00, 0x00});
    case 4: return m_Log;
    case 5: return Bytes({0x85, 0x00, 0x01, 0x00, 0x00, 0x00});
    case 6: return Bytes({0x86, 0x00}) + "PLA-7";
    case 7: return Bytes({0x87, 0x00}) + "poster_A2.pdf";
    case 9: return Bytes({0x89, 0x00, 0x2C, 0x01});
    case 10: return Bytes({0x8A, 0x00}) + "00000000";
    case 11:
    case 12: return Bytes({0x80 + command, 0x00}) + "1001";
    default: return Bytes({0x80 + command, 0x00});
    }
}

void Answerer::Run()
{
    while (!m_Stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_Listener, &readable);
        for (const Peer& peer : m_Peers)
            FD_SET(peer.socket, &readable);
        if (select(0, &readable, nullptr, nullptr, nullptr) <= 0)
            continue;
        for (size_t i = 0; i < m_Peers.size();) {
            if (FD_ISSET(m_Peers[i].socket, &readable) && !Serve(m_Peers[i])) {
                closesocket(m_Peers[i].socket);
                m_Peers.erase(m_Peers.begin() + static_cast<std::ptrdiff_t>(i));
                --m_Live;
                continue;
            }
            ++i;
        }
        if (FD_ISSET(m_Listener, &readable) && !m_Stop) {
            const SOCKET s = accept(m_Listener, nullptr, nullptr);
            if (s != INVALID_SOCKET && m_Peers.size() < FD_SETSIZE - 1) {
                m_Peers.push_back(Peer{s, std::string()});
                ++m_Live;
            } else if (s != INVALID_SOCKET) {
                closesocket(s);
            }
        }
    }
}

bool Answerer::Serve(Peer& peer)
{
    char buffer[4096];
    const int got = recv(peer.socket, buffer, sizeof buffer, 0);
    if (got <= 0)
        return false;
    peer.pending.append(buffer, static_cast<size_t>(got));
    while (peer.pending.size() >= 2) {
        const uint8_t command = static_cast<uint8_t>(peer.pending[0]);
        peer.pending.erase(0, 2);
        ++m_Requests;
        if (m_Stalled)
            continue;
        const std::string answer = AnswerTo(command);
        send(peer.socket, answer.data(), static_cast<int>(answer.size()), 0);
        if (command == 4)
            m_LastLogSent = Now();
    }
    return true;
}

} // namespace bench

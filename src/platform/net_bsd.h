#pragma once
// What Winsock and BSD sockets have in common, so that the calls which read the same on
// both are written once (net_bsd.cpp). Internal to the platform layer.
#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
typedef SOCKET NativeSocket;
typedef int SockLen;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
typedef int NativeSocket;
typedef socklen_t SockLen;
#endif

#include "platform/net.h"

inline NativeSocket native_socket(Socket s) { return static_cast<NativeSocket>(s); }

// An IPv4 socket address from host-order address and port.
sockaddr_in make_addr(uint32_t ip, uint16_t port);
// setsockopt with a plain result: 0, or -1 (also for kNoSocket).
int set_socket_opt(Socket s, int level, int name, const void* value, int size);

#pragma once
// How the agent presents itself on the network: its device name, the instance and host
// labels made from it, and the seven TXT strings of the service.
#include <cstddef>
#include <cstdint>

#include "mdns/dns_codec.h"

// The computer's name in UTF-8 into out (size bytes), or "Windows PC" when the system does
// not give a usable one (unknown, empty or too long for out).
void default_device_name(char* out, size_t size);

// A DNS-safe host label made from text: ASCII letters and digits kept (case kept), each run
// of '-', '_' and spaces as one '-', everything else dropped, at most 40 characters (or
// capacity - 1), no leading or trailing '-'; "ferrylink-pc" when nothing is left.
// Always terminates out when capacity > 0.
void sanitize_host_label(const char* text, char* out, size_t capacity);

// Fills the description for a listener port: the device name is device_name_setting when
// that is not empty (at most 63 bytes), else the default device name; every '.' becomes '-'.
// TXT strings in order: v=1, id=<device id>, nm=<instance>, os=<os word>, sv=<version>, pm=0,
// op=1. Addresses are left empty (the responder fills them); everything else is zero.
void build_service_description(ServiceDescription* out, const char* device_name_setting,
                               const char* device_id, uint16_t port);

// "win" on Windows, "linux" on the Linux build: the os= word of the TXT record.
const char* service_os_word();

#include "mdns/service_description.h"

#include <cstdio>
#include <cstring>

#include "platform/system.h"

#ifndef FL_MDNS_OS_WORD
#error "the build names the operating system word of the TXT record"
#endif
#ifndef FL_AGENT_VERSION
#error "the build names the agent's version"
#endif

namespace {

constexpr const char* kFallbackDeviceName = "Windows PC";
constexpr const char* kFallbackHostLabel = "ferrylink-pc";
constexpr size_t kHostLabelMax = 40;
constexpr size_t kDeviceNameMax = 63;

void copy_cut(char* out, size_t cap, const char* text) {
  if (cap == 0) return;
  snprintf(out, cap, "%s", text);
}

bool is_ascii_alnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool is_separator(unsigned char c) { return c == '-' || c == '_' || c == ' '; }

// Length of text cut to max bytes without leaving half a UTF-8 character at the end: the
// name becomes a DNS-SD instance name, which readers decode as UTF-8.
size_t utf8_cut_length(const char* text, size_t max) {
  size_t len = strnlen(text, max);
  if (len < max) return len;  // not cut at all
  size_t start = len;
  while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) start--;
  if (start == 0) return len;
  unsigned char lead = static_cast<unsigned char>(text[start - 1]);
  size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return (len - (start - 1) < need) ? start - 1 : len;
}

}  // namespace

const char* service_os_word() { return FL_MDNS_OS_WORD; }

void default_device_name(char* out, size_t size) {
  if (size == 0) return;
  if (computer_name_utf8(out, size) != 0 || out[0] == '\0')
    copy_cut(out, size, kFallbackDeviceName);
}

void sanitize_host_label(const char* text, char* out, size_t capacity) {
  if (capacity == 0) return;
  size_t n = 0;
  if (text && text[0] != '\0' && capacity > 1) {
    const size_t limit = capacity - 1 < kHostLabelMax ? capacity - 1 : kHostLabelMax;
    for (const char* p = text; *p != '\0' && n < limit; p++) {
      unsigned char c = static_cast<unsigned char>(*p);
      if (is_ascii_alnum(c))
        out[n++] = char(c);
      else if (is_separator(c) && n > 0 && out[n - 1] != '-')
        out[n++] = '-';
      // Other bytes (punctuation, every byte of a non-ASCII character) are dropped without
      // separating, so separators around them still collapse into one '-'.
    }
    while (n > 0 && out[n - 1] == '-') n--;
  }
  out[n] = '\0';
  if (n == 0) copy_cut(out, capacity, kFallbackHostLabel);
}

void build_service_description(ServiceDescription* out, const char* device_name_setting,
                               const char* device_id, uint16_t port) {
  if (!out) return;
  memset(out, 0, sizeof *out);
  char name[kDeviceNameMax + 1];
  if (device_name_setting && device_name_setting[0] != '\0') {
    size_t len = utf8_cut_length(device_name_setting, kDeviceNameMax);
    memcpy(name, device_name_setting, len);
    name[len] = '\0';
  } else {
    default_device_name(name, sizeof name);
  }
  // One DNS label: a dot would split the instance name.
  for (char* p = name; *p != '\0'; p++)
    if (*p == '.') *p = '-';

  copy_cut(out->instance, sizeof out->instance, name);
  sanitize_host_label(name, out->host, sizeof out->host);
  out->port = port;
  const char* id = device_id ? device_id : "";
  snprintf(out->txt[0], kTxtSlot, "v=1");
  snprintf(out->txt[1], kTxtSlot, "id=%s", id);
  snprintf(out->txt[2], kTxtSlot, "nm=%s", name);
  snprintf(out->txt[3], kTxtSlot, "os=%s", service_os_word());
  snprintf(out->txt[4], kTxtSlot, "sv=%s", FL_AGENT_VERSION);
  snprintf(out->txt[5], kTxtSlot, "pm=0");
  snprintf(out->txt[6], kTxtSlot, "op=1");
  out->txt_count = 7;
}

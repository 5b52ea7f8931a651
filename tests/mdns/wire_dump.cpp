// Writes the messages our codec builds into a folder, one file per case, so that an
// independent DNS parser can read them back (wire_check.py).
#include <cstdio>
#include <cstring>
#include <string>

#include "mdns/dns_codec.h"
#include "mdns/service_description.h"
#include "mdns_query.h"

namespace {

bool write(const std::string& dir, const char* name, const uint8_t* data, int len) {
  if (len <= 0) {
    fprintf(stderr, "%s: nothing built\n", name);
    return false;
  }
  std::string path = dir + "/" + name + ".bin";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(data, 1, size_t(len), f) == size_t(len);
  return fclose(f) == 0 && ok;
}

bool dump(const std::string& dir, const char* name, const ServiceDescription& d, int answers,
          int goodbye) {
  uint8_t buf[1400];
  return write(dir, name, buf, dns_build_response(&d, answers, goodbye, buf, sizeof buf));
}

ServiceDescription box() {
  ServiceDescription d{};
  strcpy(d.instance, "Test Box");
  strcpy(d.host, "Test-Box");
  d.port = 47650;
  const char* txt[] = {"v=1", "id=0123456789abcdef", "nm=Test Box", "os=win", "sv=0.1.0",
                       "pm=0", "op=1"};
  for (int i = 0; i < 7; i++) strcpy(d.txt[i], txt[i]);
  d.txt_count = 7;
  d.addresses[0] = 0x0A4D0001;  // 10.77.0.1
  d.addresses[1] = 0xC0A80114;  // 192.168.1.20
  d.address_count = 2;
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  ServiceDescription d = box();
  bool ok = dump(dir, "announce", d, kAnswerAnnounce, 0);
  ok = dump(dir, "goodbye", d, kAnswerAnnounce, 1) && ok;
  ok = dump(dir, "services", d, ANSWER_SERVICES, 0) && ok;
  ok = dump(dir, "srv_a", d, ANSWER_SRV | ANSWER_A, 0) && ok;

  ServiceDescription wide;
  build_service_description(&wide, "Caf\xC3\xA9 \xC3\x9C.home", "fedcba9876543210", 65535);
  for (int i = 0; i < kMaxAddresses; i++) wide.addresses[i] = 0x0A4D0001u + uint32_t(i);
  wide.address_count = kMaxAddresses;
  ok = dump(dir, "everything", wide, kAnswerAnnounce | ANSWER_SERVICES, 0) && ok;

  ServiceDescription bare = box();
  bare.txt_count = 0;
  ok = dump(dir, "txt_empty", bare, ANSWER_TXT, 0) && ok;

  uint8_t q[128];
  ok = write(dir, "browse_query", q, mdns_build_browse_query(q, sizeof q)) && ok;
  return ok ? 0 : 1;
}

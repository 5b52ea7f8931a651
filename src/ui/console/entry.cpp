// Program entry of the Linux agent: the arguments are UTF-8 already.
#include "app/agent.h"

int main(int argc, char** argv) {
  return agent_main(argc, const_cast<const char* const*>(argv), nullptr);
}

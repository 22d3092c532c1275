// vesk-ip-convert: converts dotted IPv4 addresses typed at a prompt into
// their encoded 32-bit value. Takes no arguments; any given are ignored.
#include "prompt_loop.hpp"

int main() { return vesk::run_prompt_loop(); }

#ifndef MBUSDECODE_TESTS_FUZZ_WMBUS_HOOK_H
#define MBUSDECODE_TESTS_FUZZ_WMBUS_HOOK_H

#include "mbus-protocol.h"

#include <cstddef>

// Called by the fuzz target after every parse of an input, with what the
// parse left: the frame record, its decoded data (valid when data_rc is not
// -1 and parse_rc is 0), the return codes and the input itself. The
// rendering of the XML document is checked here; a fault aborts.
void mbus_fuzz_render_hook(mbus_frame *frame, mbus_frame_data *data, int parse_rc, int data_rc,
                           const unsigned char *input, size_t size);

#endif

// libFuzzer target: anything a radio can send, through the frame parse, the
// data parse and the paths that reuse their records.

#include "fuzz_wmbus_hook.h"
#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Profile lines fit where the writer says they fit, and a small buffer is
// cut cleanly and reports the full length.
void CheckProfile(const mbus_data_record *record, const mbus_frame_data *data)
{
    static char big[1 << 17];
    char small[64];
    size_t needed = mbus_compact_profile_xml(big, sizeof big, record, data);
    Check(needed < sizeof big && std::strlen(big) == needed);
    Check(mbus_compact_profile_xml(small, sizeof small, record, data) == needed);
    Check(std::strlen(small) < sizeof small && std::strlen(small) <= needed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    mbus_frame frame;
    int parseRc = mbus_parse_wmbus(&frame, input, size);
    Check(frame.data_size <= MBUS_FRAME_DATA_LENGTH);

    wmbus_test::FrameDataPtr data(mbus_frame_data_new());
    Check(data != nullptr);
    int dataRc = -1;
    if (parseRc == 0)
    {
        dataRc = mbus_frame_data_parse(&frame, data.get(), nullptr);
        Check(dataRc <= 0);
        size_t count = 0;
        for (const mbus_data_record *r = data->records; r; r = r->next, ++count)
        {
            Check(r->data_len <= MBUS_DATA_RECORD_DATA_LENGTH && r->ndife <= MBUS_DATA_RECORD_DIFE_COUNT_MAX &&
                  r->nvife <= MBUS_DATA_RECORD_VIFE_COUNT_MAX);
            mbus_data_record_storage_number(r);
            mbus_data_record_tariff(r);
            if (r->compact_length != 0)
                CheckProfile(r, data.get());
        }
        Check(count == data->nrecords);
    }
    mbus_fuzz_render_hook(&frame, data.get(), parseRc, dataRc, input, size);

    if (parseRc == 0)
    {
        // The frame as its own format frame: the signatures agree, so
        // compact frames walk their own data as the record structure.
        mbus_frame format = frame;
        mbus_frame_data_parse(&frame, data.get(), &format);

        // Decoded variable data packed back into a wired frame parse again
        // (format frames are left out: their records carry no data bytes).
        const bool formatFrame = frame.control_information >= 0x69 && frame.control_information <= 0x6B;
        if (mbus_frame_data_parse(&frame, data.get(), nullptr) == 0 && data->type == MBUS_DATA_TYPE_VARIABLE &&
            !formatFrame)
        {
            mbus_frame wired{};
            wired.type = MBUS_FRAME_TYPE_LONG;
            wired.control = 0x08;
            wired.control_information = 0x72;
            if (mbus_frame_data_pack(&wired, data.get()) == 0)
                Check(mbus_frame_data_parse(&wired, data.get(), nullptr) == 0);
        }
    }

    // The same bytes as a wired frame.
    mbus_frame wired;
    if (mbus_parse(&wired, input, size) == 0)
        mbus_frame_data_parse(&wired, data.get(), nullptr);
    return 0;
}

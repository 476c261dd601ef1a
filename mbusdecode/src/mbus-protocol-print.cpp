// Debug listings of decoded frame data on standard output.

#include "mbus-protocol.h"

#include <cstdio>

namespace
{

constexpr const char *kPrefix = "mbusdecode";

void PrintBytes(const unsigned char *bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        std::printf("%.2X ", bytes[i]);
}

} // namespace

int mbus_frame_data_print(mbus_frame_data *data)
{
    if (!data)
        return -1;
    switch (data->type)
    {
    case MBUS_DATA_TYPE_ERROR:
        std::printf("%s: Error = %d\n", kPrefix, data->error);
        return -1;
    case MBUS_DATA_TYPE_FIXED:
        return mbus_data_fixed_print(&data->fixed);
    case MBUS_DATA_TYPE_VARIABLE:
        return mbus_data_variable_print(data);
    default:
        return -1;
    }
}

int mbus_data_fixed_print(mbus_data_fixed *data)
{
    if (!data)
        return -1;
    std::printf("%s: ID       = %lld\n", kPrefix, mbus_data_bcd_decode_unsigned(data->id_bcd, 4));
    std::printf("%s: Access # = 0x%.2X\n", kPrefix, data->access_number);
    std::printf("%s: Status   = 0x%.2X\n", kPrefix, data->status);
    std::printf("%s: Function = %s\n", kPrefix, mbus_data_fixed_function(data->status));
    std::printf("%s: Medium1  = %s\n", kPrefix, mbus_data_fixed_medium(data));
    std::printf("%s: Unit1    = %s\n", kPrefix, mbus_data_fixed_unit(data->counter1_type));
    std::printf("%s: Counter1 = %lld\n", kPrefix, mbus_data_fixed_counter(data, 0));
    std::printf("%s: Unit2    = %s\n", kPrefix, mbus_data_fixed_unit(data->counter2_type));
    std::printf("%s: Counter2 = %lld\n", kPrefix, mbus_data_fixed_counter(data, 1));
    return 0;
}

int mbus_data_variable_header_print(mbus_data_variable_header *header)
{
    if (!header)
        return -1;
    std::printf("%s: ID           = %lld\n", kPrefix, mbus_data_bcd_decode_unsigned(header->id_bcd, 4));
    std::printf("%s: Manufacturer = 0x%.2X%.2X (%s)\n", kPrefix, header->manufacturer[1], header->manufacturer[0],
                mbus_decode_manufacturer(header->manufacturer[0], header->manufacturer[1]));
    std::printf("%s: Version      = 0x%.2X\n", kPrefix, header->version);
    std::printf("%s: Medium       = 0x%.2X (%s)\n", kPrefix, header->medium,
                mbus_data_variable_medium_lookup(header->medium));
    std::printf("%s: Access #     = 0x%.2X\n", kPrefix, header->access_number);
    std::printf("%s: Status       = 0x%.2X\n", kPrefix, header->status);
    std::printf("%s: Signature    = 0x%.2X%.2X\n", kPrefix, header->signature[1], header->signature[0]);
    return 0;
}

int mbus_data_variable_print(mbus_frame_data *data)
{
    if (!data)
        return -1;
    mbus_data_variable_header_print(&data->header);
    for (const mbus_data_record *r = data->records; r; r = r->next)
    {
        std::printf("DIF           = %.2X\n", r->dif);
        if ((r->dif & 0xEF) == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC)
        {
            std::printf("%s: VENDOR DATA [size=%zu] = ", kPrefix, r->data_len);
            PrintBytes(r->data, r->data_len);
            std::printf("\n");
            if (r->dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW)
                std::printf("%s: More records follow in next telegram\n", kPrefix);
            continue;
        }
        std::printf("DIF.Extension = %s\n", (r->dif & MBUS_DIB_DIF_EXTENSION_BIT) ? "Yes" : "No");
        std::printf("DIF.StorageNo = %d\n", (r->dif & MBUS_DATA_RECORD_DIF_MASK_STORAGE_NO) ? 1 : 0);
        std::printf("DIF.Function  = %s\n", mbus_data_record_function_name(r->dif));
        std::printf("DIF.Data      = %.2X\n", r->dif & MBUS_DATA_RECORD_DIF_MASK_DATA);
        for (size_t i = 0; i < r->ndife; ++i)
        {
            unsigned char dife = r->dife[i];
            std::printf("DIFE[%zu]       = %.2X\n", i, dife);
            std::printf("DIFE.Extension = %s\n", (dife & MBUS_DIB_DIF_EXTENSION_BIT) ? "Yes" : "No");
            std::printf("DIFE.Device   = %d\n", (dife >> 6) & 0x01);
            std::printf("DIFE.Tariff   = %d\n", (dife >> 4) & 0x03);
            std::printf("DIFE.StorageNo = %d\n", dife & 0x0F);
        }
        std::printf("VIF           = %.2X\n", r->vif);
        for (size_t i = 0; i < r->nvife; ++i)
            std::printf("VIFE[%zu]       = %.2X\n", i, r->vife[i]);
        std::printf("\n");
    }
    return 0;
}

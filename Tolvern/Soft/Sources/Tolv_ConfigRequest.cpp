#include "Tolv_ConfigRequest.h"

#include "Tolv_Config.h"
#include "Tolv_ConfigPayload.h"
#include "Tolv_ConfigTasks.h"

#include <stdexcept>

namespace Tolv
{

namespace
{

const std::string FrameTooLarge = "Frame data to large";

} // namespace

ByteVector ConfigRequest::Payload() const
{
    ByteVector payload;
    for (const ByteVector &item : items)
    {
        payload.insert(payload.end(), item.begin(), item.end());
    }
    return payload;
}

ConfigRequest ReadConfigRequest(const Config &config)
{
    ConfigRequest request;
    if (!config.OptReadConfFile.empty())
    {
        request.items = EncodeConfigItems(config.OptReadConfFile, config.OptTemplateDir, config.OptTemplateId, true,
                                          &request.names);
    }
    return request;
}

ConfigRequest WriteConfigRequest(const Config &config)
{
    ConfigRequest request;
    request.items =
        EncodeConfigItems(config.OptConfFile, config.OptTemplateDir, config.OptTemplateId, false, &request.names);
    return request;
}

void RequireConfigRequestFits(WMBusMod::WMBC_Interface &driver, const Config &config, uint8_t ci,
                              const ConfigRequest &request, const std::string &path)
{
    try
    {
        RequireRequestFits(driver, config, ci, request.Payload());
    }
    catch (const std::runtime_error &e)
    {
        if (e.what() != FrameTooLarge)
        {
            throw;
        }
        // The file is what the user can change: say which, and by how much it asks.
        throw std::runtime_error("Config file " + path + ": " + std::to_string(request.items.size()) +
                                 " items do not fit in one request (" + FrameTooLarge + ")");
    }
}

} // namespace Tolv

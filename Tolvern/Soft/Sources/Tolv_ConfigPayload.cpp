#include "Tolv_ConfigPayload.h"

#include "LogStatement.h"
#include "Tolv_Config.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>

namespace Tolv
{

namespace
{

bool IsTemplateExtension(const std::filesystem::path &path)
{
    const std::string extension = path.extension().string();
    return std::any_of(std::begin(Config::TemplateFileExtensions), std::end(Config::TemplateFileExtensions),
                       [&](const char *wanted) { return extension == wanted; });
}

bool LessIgnoringCase(const std::string &a, const std::string &b)
{
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    const auto less = [&](char x, char y) { return lower(x) < lower(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less))
    {
        return true;
    }
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), less))
    {
        return false;
    }
    return a < b; // names that differ only in case keep a fixed order
}

} // namespace

void ListTemplateFiles(const std::string &directory, std::vector<std::string> &paths)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(directory, ec))
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Template directory parameter is not a directory " << directory;
        return;
    }

    std::vector<std::string> names;
    for (const std::filesystem::directory_entry &entry : std::filesystem::directory_iterator(directory))
    {
        if (entry.is_regular_file(ec) && IsTemplateExtension(entry.path()))
        {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    for (const std::string &name : names)
    {
        paths.push_back((std::filesystem::path(directory) / name).string());
    }
}

std::vector<ByteVector> EncodeConfigItems(const std::string &configPath, const std::string &templateDir,
                                          const std::string &templateId, bool readMode, ItemNames *names)
{
    std::vector<std::string> templateFiles;
    ListTemplateFiles(templateDir, templateFiles);
    ConfigFile configFile(configPath, std::move(templateFiles));
    std::vector<ByteVector> items;
    configFile.EncodeItems(items, templateId, readMode);
    if (names != nullptr)
    {
        *names = configFile.Names();
    }
    return items;
}

void BuildConfigPayload(const std::string &configPath, const std::string &templateDir, ByteVector &out,
                        const std::string &templateId, bool readMode)
{
    for (const ByteVector &item : EncodeConfigItems(configPath, templateDir, templateId, readMode, nullptr))
    {
        out.insert(out.end(), item.begin(), item.end());
    }
}

void BuildConfigItems(const std::string &configPath, const std::string &templateDir, std::vector<ByteVector> &out,
                      const std::string &templateId)
{
    std::vector<ByteVector> items = EncodeConfigItems(configPath, templateDir, templateId, false, nullptr);
    out.insert(out.end(), items.begin(), items.end());
}

} // namespace Tolv

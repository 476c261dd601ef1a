#ifndef TESTSUPPORT_TEMPDIR_H
#define TESTSUPPORT_TEMPDIR_H

#include <boost/filesystem.hpp>
#include <fstream>
#include <string>

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir
{
public:
    TempDir()
        : path(boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("toolkit-test-%%%%-%%%%-%%%%"))
    {
        boost::filesystem::create_directories(path);
    }
    ~TempDir()
    {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string Path() const { return path.string(); }
    std::string Path(const std::string &relative) const { return (path / relative).string(); }

    // Creates the file (and its folders) with the given bytes.
    std::string Write(const std::string &relative, const std::string &bytes) const
    {
        const boost::filesystem::path file = path / relative;
        boost::filesystem::create_directories(file.parent_path());
        std::ofstream(file.string(), std::ios::binary) << bytes;
        return file.string();
    }
    std::string Read(const std::string &relative) const
    {
        std::ifstream in(Path(relative), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string &relative) const { return boost::filesystem::exists(path / relative); }

private:
    boost::filesystem::path path;
};

#endif

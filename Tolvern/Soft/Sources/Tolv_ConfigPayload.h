#ifndef TOLV_CONFIGPAYLOAD_H
#define TOLV_CONFIGPAYLOAD_H

#include "Tolv_ConfigFile.h"

#include <string>
#include <vector>

namespace Tolv
{

// The request bytes of all items of a configuration file, in file order,
// encoded with the template of the given id from the template directory.
void BuildConfigPayload(const std::string &configPath, const std::string &templateDir, ByteVector &out,
                        const std::string &templateId, bool readMode);

// As BuildConfigPayload in write mode, one byte vector per element of the file.
void BuildConfigItems(const std::string &configPath, const std::string &templateDir, std::vector<ByteVector> &out,
                      const std::string &templateId);

// One byte vector per element of the file, in read or write mode; names, when given, receives the
// name and key of every item of the template used, so that an answer can be told by its item.
std::vector<ByteVector> EncodeConfigItems(const std::string &configPath, const std::string &templateDir,
                                          const std::string &templateId, bool readMode, ItemNames *names);

// Appends the regular files of directory whose extension is exactly ".xml" or
// ".XML", sorted by name without regard to case (the order the GUI lists them
// in, so both pick the same file when two share an id).
void ListTemplateFiles(const std::string &directory, std::vector<std::string> &paths);

} // namespace Tolv

#endif

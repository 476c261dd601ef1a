#ifndef TOLV_CONFIGTASKS_H
#define TOLV_CONFIGTASKS_H

#include "Tolv_ConfigFile.h"
#include "Tolv_ModuleAddress.h"
#include "WMBC_Interface.h"
#include "WMBH_Frame.h"
#include "mbus-protocol.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tolv
{

class Config;

// The maker's requests and the CI of the module's answer to each.
constexpr uint8_t CiReadConfig = 0xA0;
constexpr uint8_t CiReadConfigAnswer = 0xA1;
constexpr uint8_t CiWriteConfig = 0xA2;
constexpr uint8_t CiWriteConfigAnswer = 0xA3;
constexpr uint8_t CiGetLogs = 0xA6;
constexpr uint8_t CiGetLogsAnswer = 0xA7;
constexpr uint8_t CiMissingFrameAnswer = 0xA9;

// What a task that got no answer from its module ends with.
constexpr const char *NoResponse = "No response from module";

// Answer windows of the tasks, in seconds.
constexpr int ReadWriteAnswerSeconds = 660;
constexpr int CheckAnswerSeconds = 30;

// True when the frame is an RSP-UD with the answer CI sent by the module at
// `from`: an answer of any other module is not ours to take.
bool IsAnswerFrom(const mbus_frame &frame, uint8_t answerCi, const AddressBytes &from);

// Before a task's first request: whatever is pending in the modem's mailbox was left by an
// earlier run killed outright, and is withdrawn (WithdrawLeftovers), so the mailbox has room
// and the module gets nothing stale ahead of the request.
void MailboxPreamble(WMBusMod::WMBC_Interface &driver);

// Refuses a key that a request cannot be encrypted with, before anything is sent: an empty
// one ("AES key "" is empty: ..."), which would put the request on the air readable, and one
// that is not 32 hexadecimal digits ("Wrong key size", "Wrong key format").
void RequireRequestKey(const std::string &keyText);

// A request as it goes on the air, and the module it goes to.
struct PreparedRequest
{
    WMBH_Frame frame;
    AddressBytes destination;
};

// Builds and encrypts a request of the given CI with the payload to the module of
// config.OptAddress (which logs "Got address ") with config.OptKey, sending nothing: errors of
// the key, the address and the frame come before the task touches the mailbox.
PreparedRequest PrepareRequest(WMBusMod::WMBC_Interface &driver, const Config &config, uint8_t ci,
                               const uint8_t *payload, int count);
// The same to a destination of the caller's, without a word on the log; the key is the caller's
// to check.
PreparedRequest PrepareRequestTo(WMBusMod::WMBC_Interface &driver, const Config &config,
                                 const AddressBytes &destination, uint8_t ci, const uint8_t *payload, int count);

// Refuses, with nothing sent, a payload that does not make one request of the given CI once
// encrypted ("Frame data to large"), and a key or address that cannot make one at all. The
// size does not depend on the module the request goes to, so this holds for any module.
void RequireRequestFits(WMBusMod::WMBC_Interface &driver, const Config &config, uint8_t ci, const ByteVector &payload);

// Queues a prepared request in the modem's mailbox; modem errors are thrown.
void SendPrepared(WMBusMod::WMBC_Interface &driver, const PreparedRequest &request);

// PrepareRequest and SendPrepared in one. Returns the destination, so that the answer can be
// checked against it.
AddressBytes SendRequest(WMBusMod::WMBC_Interface &driver, const Config &config, uint8_t ci, const uint8_t *payload,
                         int count);

// Waits up to seconds for the module's frame with answerCi. Every frame goes
// through WaitFrame with data (so it is printed when data is given); errors
// raised while waiting are swallowed and the wait goes on. True with the answer in frame.
bool WaitAnswerFrame(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &from, uint8_t answerCi,
                     int seconds, mbus_frame &frame, mbus_frame_data *data);

// WaitAnswerFrame for a task that cannot go on without the answer: when none
// came, the error line of LogNoResponse and std::runtime_error "No response from module".
void RequireAnswerFrame(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &from,
                        uint8_t answerCi, int seconds, mbus_frame &frame, mbus_frame_data *data);

// Waits for the answer. With expected bytes: "Response ok" when the answer's
// data hold all of them from their start (more data may follow), else
// "Response error! resp: ..., req: ..." and false. Without: the answer's
// document follows "Received: ". False, after the error line of
// LogNoResponse, when no answer came in time.
bool WaitConfigResponse(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &from,
                        uint8_t answerCi, int seconds, const ByteVector *expected);

// The error line of a request whose answer did not come within seconds.
void LogNoResponse(int seconds);

void AppendBytes(ByteVector &to, const ByteVector &from);

// The request bytes of tasks 8, 9 and 10 from the run's configuration file, encoded with the
// template of config.OptTemplateId in config.OptTemplateDir: read before the module is asked
// for, so that a file or template that cannot make a request is refused with nothing sent
// (they throw what BuildConfigPayload and BuildConfigItems throw). The read payload is empty
// for the whole configuration (no file given); the check gets one byte vector per item.
ByteVector ReadConfigPayload(const Config &config);
ByteVector WriteConfigPayload(const Config &config);
std::vector<ByteVector> CheckConfigItems(const Config &config);

// Tasks 8, 9 and 10: read (the whole configuration when the payload is empty), write and check
// the module's configuration. Each ends with an exception when the module did not confirm: no
// answer to the read, no or another answer to the write, any item of the check in error.
void ReadConfig(WMBusMod::WMBC_Interface &driver, Config &config, const ByteVector &payload);
void WriteConfig(WMBusMod::WMBC_Interface &driver, Config &config, const ByteVector &payload);
void CheckConfig(WMBusMod::WMBC_Interface &driver, Config &config, const std::vector<ByteVector> &items);

} // namespace Tolv

#endif

#include "V7Aruviv/Models/TransferSendMethod.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

std::string TransferSendMethod::describe() const {
    return std::visit(Overloaded{
                          [](const SDSFile& m) { return describeCase("sdsFile", {labelled("dumpCount", m.dumpCount)}); },
                          [](const Invalid& m) { return describeCase("invalid", {labelled("", m.reason)}); },
                          [](const AudioSDS&) { return describeCase("audioSDS"); },
                          [](const RawDigiPRO&) { return describeCase("rawDigiPRO"); },
                          [](const RawFirmware&) { return describeCase("rawFirmware"); },
                          [](const RawElektronData&) { return describeCase("rawElektronData"); },
                          [](const RawGenericSysEx&) { return describeCase("rawGenericSysEx"); },
                          [](const Unsupported&) { return describeCase("unsupported"); },
                      },
                      value());
}

}  // namespace k7

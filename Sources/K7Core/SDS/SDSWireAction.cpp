#include "K7Core/SDS/SDSWireAction.h"

#include "K7Core/Support/ErrorDescription.h"

namespace k7::sds_wire_action {

std::string describe(const Send& a) { return describeCase("send", {labelled("byteCount", a.message.size())}); }
std::string describe(const ScheduleTimeout& a) {
    return describeCase("scheduleTimeout", {labelled("id", a.id), labelled("delay", a.delay.count())});
}
std::string describe(const CancelTimeout& a) { return describeCase("cancelTimeout", {labelled("id", a.id)}); }
std::string describe(const Failed& a) { return describeCase("failed", {field("", k7::describe(a.failure))}); }
std::string describe(const IgnoredTimeout& a) { return describeCase("ignoredTimeout", {labelled("", a.id)}); }

}  // namespace k7::sds_wire_action

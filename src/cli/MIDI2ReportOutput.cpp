#include "cli/MIDI2ReportOutput.h"

#include "cli/Arguments.h"

namespace orvane::cli {

std::string reportText(const midi::MIDI2OperationReport& report) {
    return report.oneLineStatus() + "\n" + report.detailText() + "\n";
}

std::string reportJSON(const midi::MIDI2OperationReport& report) {
    return "{\"oneLineStatus\":" + jsonString(report.oneLineStatus()) +
           ",\"detailText\":" + jsonString(report.detailText()) + "}";
}

}  // namespace orvane::cli

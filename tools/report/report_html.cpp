#include "report/report_html.h"

#include <utility>

#include <nlohmann/json.hpp>

#include "formats/gltf_container.h"
#include "report/report_page.h"

namespace {

// Little-endian bytes of the array (the machines we build for are
// little-endian, as typed arrays in the browser are), in base64.
template <typename T>
std::string base64Of(const std::vector<T>& values)
{
    std::string bytes(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
    std::string uri = dataUri(bytes);
    return uri.substr(uri.find(',') + 1);
}

// The JSON may hold any file name; "<" is escaped so that nothing in it can
// close the script element around it.
std::string scriptSafe(const std::string& json)
{
    std::string out;
    out.reserve(json.size());
    for (char c : json) {
        if (c == '<')
            out += "\\u003c";
        else
            out += c;
    }
    return out;
}

} // namespace

std::string formatReportPage(const ReportData& data, const ReportPageInfo& info)
{
    static_assert(sizeof(float) == 4, "the page reads 32-bit floats");
    nlohmann::json meta = {
        {"name", info.name},
        {"fps", info.fps},
        {"vertices", data.vertices},
        {"bones", data.bones},
        {"frameCount", data.frameCount},
        {"sourceFrames", data.sourceFrames},
        {"frameStep", data.frameStep},
        {"tree", {{"parent", data.tree.parent}, {"head", data.tree.head}, {"centre", data.tree.centre}}},
    };
    std::vector<int> pairs;
    std::vector<double> positions;
    for (const RigJoint& j : data.joints) {
        pairs.push_back(j.a);
        pairs.push_back(j.b);
        positions.insert(positions.end(), j.position, j.position + 3);
    }
    meta["joints"] = {{"pairs", pairs}, {"positions", positions}};
    // The arrays, base64 text with nothing to escape, go in as they are:
    // passing megabytes through the JSON writer would only copy them slowly.
    const std::pair<const char*, std::string> arrays[] = {
        {"rest", base64Of(data.rest)},
        {"triangles", base64Of(data.triangles)},
        {"weightStart", base64Of(data.weightStart)},
        {"weightBone", base64Of(data.weightBone)},
        {"weightValue", base64Of(data.weightValue)},
        {"transforms", base64Of(data.transforms)},
        {"frames", data.hasInput ? base64Of(data.frames) : std::string()},
    };
    std::string page = reportPageBeforeData();
    std::string json = scriptSafe(meta.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    json.pop_back(); // the closing brace
    page += json;
    page += ",\"arrays\":{";
    const char* separator = "";
    for (const auto& [name, text] : arrays) {
        if (std::string(name) == "frames" && !data.hasInput)
            continue;
        page += separator;
        page += "\"" + std::string(name) + "\":\"";
        page += text;
        page += "\"";
        separator = ",";
    }
    page += "}}";
    page += reportPageAfterData();
    return page;
}

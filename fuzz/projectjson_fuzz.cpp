// The readable forms of a project on arbitrary input. An input that starts with "{" is JSON
// text: reading it never crashes, a refusal always says why, and whatever it accepts is
// stable (its image exported and read again is the same image). Any other input is an image
// (its first 1024 bytes): the JSON export read back gives the same 1024 bytes, and the listing,
// the differences and the week plan run through. The two halves are split because the text
// forms are slow under the sanitizers and the JSON side needs the runs.
#include "config/configimage.h"
#include "forms/plansvg.h"
#include "forms/projectjson.h"
#include "forms/projectmodel.h"
#include "forms/projecttext.h"
#include "forms/weekplan.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, std::size_t size)
{
    std::fprintf(stderr, "project JSON: %s (input of %zu bytes)\n", what, size);
    std::abort();
}

bool SurvivesJson(const ConfigImage &image)
{
    JsonError error;
    const auto model = ProjectFromJson(ProjectToJson(DecodeProject(image)), error);
    return model && EncodeProject(*model) == image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0 || data[0] != '{') {
        ConfigImage image;
        std::copy_n(data, std::min<std::size_t>(size, ConfigImage::Size), image.data());
        if (!SurvivesJson(image))
            fail("export and import of an image changed it", size);
        ShowProject(image);
        DiffProjects(image, ConfigImage{});
        WeekPlanSvg(MakeWeekPlan(image));
        return 0;
    }
    JsonError error;
    const auto model =
        ProjectFromJson(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)), error);
    if (model) {
        if (!SurvivesJson(EncodeProject(*model)))
            fail("an accepted JSON text gives an image that does not come back", size);
    } else if (error.reason.isEmpty()) {
        fail("a refusal without a reason", size);
    }
    return 0;
}

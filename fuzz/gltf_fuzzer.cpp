// Fuzzes the glTF importer: container, JSON, buffers, accessors, hierarchy,
// skins, morph targets, samplers and the weld. Every input must either be
// refused with one line that starts with the file's name, or give frames
// whose count and values the importer promises (finite, within the frame
// limit, triangles in range, weld never adding vertices).
#include <cmath>

#include "formats/gltf_sampling.h"
#include "formats/weld.h"
#include "fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& fileName = fuzzInputFile(data, size);
    for (const char* animation : {"", "all"}) {
        GltfSampleOptions options;
        options.animation = animation;
        if (!options.animation.empty())
            options.meshes = {"0"};
        GltfSampled out;
        std::string error;
        const bool ok = sampleGltfFile(fileName, options, out, error);
        FUZZ_CHECK(ok == error.empty(), error.c_str());
        if (!ok) {
            FUZZ_CHECK(error.rfind(fileName + ": ", 0) == 0, error.c_str());
            FUZZ_CHECK(error.find('\n') == std::string::npos, error.c_str());
            FUZZ_CHECK(out.frames.empty() && out.rest.positions.empty(), "a refusal left data behind");
            continue;
        }
        const std::size_t n = out.rest.positions.size() / 3;
        FUZZ_CHECK(out.numFrames >= 1 && out.numFrames <= kMaxGltfFrames, "frame count out of range");
        FUZZ_CHECK(out.frames.size() == out.numFrames * n * 3, "frames do not match the vertex count");
        for (double x : out.frames)
            FUZZ_CHECK(std::isfinite(x), "a sampled position is not finite");
        for (int t : out.rest.triangles)
            FUZZ_CHECK(t >= 0 && std::size_t(t) < n, "a triangle corner is out of range");
        const std::size_t kept = weldVertices(out.rest, out.frames, out.numFrames);
        FUZZ_CHECK(kept <= n && out.rest.positions.size() == kept * 3 && out.frames.size() == out.numFrames * kept * 3,
                   "the weld changed the sizes inconsistently");
        for (int t : out.rest.triangles)
            FUZZ_CHECK(t >= 0 && std::size_t(t) < kept, "a welded triangle corner is out of range");
    }
    return 0;
}

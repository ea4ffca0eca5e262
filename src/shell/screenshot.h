#pragma once
#include <string>
#include <vector>

namespace vantiro {

// Writes a binary PPM ("P6\n<w> <h>\n255\n", then RGB) from RGBA pixels read
// bottom row first, as OpenGL returns them; the file holds the top row first.
// False when the file cannot be written.
bool writePpmScreenshot(const std::string& path, int width, int height, const std::vector<unsigned char>& rgba);

}  // namespace vantiro

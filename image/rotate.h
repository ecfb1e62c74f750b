// Turning a PBM page file by a quarter or half turn.
#ifndef QUILLFERN_IMAGE_ROTATE_H_
#define QUILLFERN_IMAGE_ROTATE_H_

namespace quillfern {

// Reads the P4 file at `source` and writes it to `destination` turned by
// `angle` degrees: -90 (counter-clockwise: the right edge becomes the top),
// 90 (clockwise) or 180.  Returns 0 when the turned file was written, 1 on
// any failure, with a message on standard error.  The source is never
// changed; on failure no destination is written, except that a destination
// whose write fails may be left behind incomplete.
int rotatePbm(const char* source, const char* destination, int angle);

}  // namespace quillfern

#endif  // QUILLFERN_IMAGE_ROTATE_H_

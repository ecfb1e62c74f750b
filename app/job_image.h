// JPEG and PNG jobs.  PAPPL 1.3.1 renders them itself at the resolution it
// derives from print-quality (normal is the last, 1200 dpi); these filters
// decode the image as PAPPL does and hand it to PAPPL's image rendering at
// the job's resolution (JobResolution), so that an image prints like any
// other document of the same job settings.  A filter decodes its image
// only once the job has its printer's turn (app/job_turns.h), so a
// printer's jobs hold one decoded image at a time.
#ifndef QUILLFERN_APP_JOB_IMAGE_H_
#define QUILLFERN_APP_JOB_IMAGE_H_

#include <pappl/pappl.h>

namespace quillfern {

// PAPPL MIME filters for image/jpeg and image/png to the printer's format.
bool FilterJpeg(pappl_job_t* job, pappl_device_t* device, void* data);
bool FilterPng(pappl_job_t* job, pappl_device_t* device, void* data);

}  // namespace quillfern

#endif  // QUILLFERN_APP_JOB_IMAGE_H_

// What a job's turn leaves on disk for the next start to find, should the
// server die: a mark while the job sends (it may be partly on paper), and a
// mark on each pending job the turn held back for the job order (nothing
// else would release it).  Marks are empty files in a folder of the state
// directory, named after the printer's and the job's ids.
#ifndef QUILLFERN_APP_STATE_JOB_MARKS_H_
#define QUILLFERN_APP_STATE_JOB_MARKS_H_

#include <set>
#include <string>
#include <utility>

namespace quillfern {

enum class JobMark { kSending, kHeld };

// The folder of the marks under `stateDirectory`.
std::string JobMarksDirectory(const std::string& stateDirectory);

// Sets or clears a job's mark; false when the file system refuses.
bool SetJobMark(const std::string& stateDirectory, JobMark mark, int printerId, int jobId);
void ClearJobMark(const std::string& stateDirectory, JobMark mark, int printerId, int jobId);

// The (printer id, job id) of every job with `mark`; `clear` removes them.
std::set<std::pair<int, int>> TakeJobMarks(const std::string& stateDirectory, JobMark mark,
                                           bool clear);

}  // namespace quillfern

#endif  // QUILLFERN_APP_STATE_JOB_MARKS_H_

// The run settings and the job state of a jobpush run, with their initial values.
#include "frontend/run_state.h"

run_settings settings;
job_state job;

// Test helpers for the outside reader: the XMIT file held in a data file (its 80-byte records in
// order), loaded with dasdload into a fresh disk image, and the dataset's records read back from the
// image's track layout.
#pragma once

#include <string>
#include <vector>

#include "tests/test_util.h"

namespace netdata_test
{

// The data records of a data file, joined (the records must all be 80 bytes).
Bytes xmit_of_data_file(const std::string &path);

struct loaded {
    int status = -1;     // dasdload's exit status
    std::string log;     // its messages
    std::string image;   // path of the disk image
    std::string dataset; // name under which the stream was loaded
};
// Loads `xmit` as one sequential dataset with dasdload into a new 3390 image under `dir`.
loaded dasdload(const std::string &dir, const Bytes &xmit);

// The variable records of the loaded dataset, read from the image by their block and record
// descriptors.
std::vector<Bytes> records_in_image(const loaded &l);

// dasdseq's copy of a fixed-format dataset (it reads no other format).
Bytes dasdseq(const loaded &l);

} // namespace netdata_test

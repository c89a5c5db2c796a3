// Generated portraits: a drawn face for every uid (skin, hair, eyes, sometimes glasses or a
// beard, on a coloured background), encoded as JPEG, so the demo looks like a circle of people
// and the application's photo pipeline has real images to download from the service.
#pragma once

#include <string>

// The two pictures of a person: the "pic" (a 100 x 125 head-and-shoulders portrait) and the
// "pic_square" (a 50 x 50 close crop of the same face). Every trait comes from the uid, so a
// person looks the same every run and in both pictures. Answers the JPEG file's bytes, or ""
// when encoding fails.
std::string make_portrait_jpeg(const std::string& uid, bool square);

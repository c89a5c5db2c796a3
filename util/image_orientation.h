// The EXIF orientation of a photo: the tag read with libexif from a JPEG's APP1 segment, and the
// pixels turned so the picture stands as the camera's user saw it.
#pragma once

#include <cstddef>

// The orientation (1 to 8) that EXIF data gives its picture: data is the payload of an APP1
// segment ("Exif\0\0" and a TIFF structure). 1 (as stored) when there is no such data, no
// orientation tag in the first image directory, or a value outside 1 to 8.
int read_exif_orientation(const unsigned char* data, size_t size);

// Turns a picture stored bottom row first (channels bytes per pixel, rows packed) upright for
// the EXIF orientation: 2 mirrored, 3 turned half round, 4 flipped, 5 transposed, 6 stored a
// quarter turn anticlockwise, 7 transversed, 8 stored a quarter turn clockwise. Orientations
// 5 to 8 swap width and height. Replaces pixels by a new[] array (the old one deleted); false,
// with everything left as it was, for orientation 1, an unknown one, or when memory is short.
bool orient_pixels(unsigned char*& pixels, unsigned& width, unsigned& height, unsigned channels,
                   int orientation);

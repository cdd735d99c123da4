/* The records of a sheet kelvora converted for sdcc. Each is an array of
   its bytes in the area _KELVORA; a record marked PAGE_ALIGNED is on a
   256-byte page when the link puts the area on one. */
#ifndef KELVORA_EVERY_KIND_FOR_SDCC_H
#define KELVORA_EVERY_KIND_FOR_SDCC_H

extern const unsigned char smiley[];
#define smiley_BYTES 11
#define smiley_WIDTH 1
#define smiley_HEIGHT 1

extern const unsigned char font[];
#define font_BYTES 256
#define font_PAGE_ALIGNED 1

extern const unsigned char ship[];
#define ship_BYTES 66
#define ship_WIDTH 2
#define ship_HEIGHT 16

extern const unsigned char ghost[];
#define ghost_BYTES 66
#define ghost_WIDTH 2
#define ghost_HEIGHT 16

extern const unsigned char tiles[];
#define tiles_BYTES 512
#define tiles_PAGE_ALIGNED 1

extern const unsigned char coin[];
#define coin_BYTES 18
#define coin_WIDTH 1
#define coin_HEIGHT 8

extern const unsigned char scene[];
#define scene_BYTES 74
#define scene_WIDTH 4
#define scene_HEIGHT 2

#endif

/* The records of a sheet kelvora converted for sdcc. Each is an array of
   its bytes in the area _KELVORA; a record marked PAGE_ALIGNED is on a
   256-byte page when the link puts the area on one. */
#ifndef KELVORA_SHEET_H
#define KELVORA_SHEET_H

extern const unsigned char logo[];
#define logo_BYTES 20
#define logo_WIDTH 2
#define logo_HEIGHT 1

extern const unsigned char font[];
#define font_BYTES 256
#define font_PAGE_ALIGNED 1

extern const unsigned char ship[];
#define ship_BYTES 18
#define ship_WIDTH 1
#define ship_HEIGHT 8

#endif

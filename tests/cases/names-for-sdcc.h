/* The records of a sheet kelvora converted for sdcc. Each is an array of
   its bytes in the area _KELVORA; a record marked PAGE_ALIGNED is on a
   256-byte page when the link puts the area on one. */
#ifndef KELVORA_NAMES_FOR_SDCC_H
#define KELVORA_NAMES_FOR_SDCC_H

extern const unsigned char logo[];
#define logo_BYTES 11
#define logo_WIDTH 1
#define logo_HEIGHT 1

extern const unsigned char _ship[];
#define _ship_BYTES 18
#define _ship_WIDTH 1
#define _ship_HEIGHT 8

extern const unsigned char ship_2[];
#define ship_2_BYTES 256
#define ship_2_PAGE_ALIGNED 1

extern const unsigned char Int[];
#define Int_BYTES 11
#define Int_WIDTH 1
#define Int_HEIGHT 1

#endif

/*
 * isdnlink: a byte-stream link to a TPX switch over one ISDN B-channel (CAPI 2.0).
 *
 *   DialISDN        places the call and negotiates remote administration (service 0x12)
 *   WriteISDNBlock  sends bytes, wrapped in one DATA_PC frame each
 *   ReadISDNBlock   hands back the bytes of the next DATA_MPB frame the switch sent
 *   CloseISDN       hangs up and releases everything
 *
 * The calls never overlap: each holds the library's lock for its whole run, so a reader
 * thread polling ReadISDNBlock and another thread writing are kept apart here.
 * ReadISDNBlock with nothing buffered waits up to about 100 ms for a frame, and gives
 * way at once to a call from another thread.
 * The protocol file ReZUVODUV.prt and the log file ReZUVODUV.LOG are written in the TPX
 * home folder ($TPX_HOME, else ~/.local/share/tpx).
 */
#ifndef TPX_ISDNLINK_H
#define TPX_ISDNLINK_H

#ifdef __cplusplus
extern "C" {
#endif

/* DialISDN results */
#define ISDN_OK 0
#define ISDN_SERVICE_REFUSED (-1)     /* SERVICE_NACK: the switch refused the service */
#define ISDN_NO_CAPI (-2)             /* no CAPI, no controller, or registration refused */
#define ISDN_NO_PROTOCOL_FILE (-3)
#define ISDN_NO_LOG_FILE (-4)
#define ISDN_NO_LISTEN (-5)           /* LISTEN not confirmed in time */
#define ISDN_NO_CHANNEL (-6)          /* no connection could be started on either slot */
#define ISDN_NO_B_CHANNEL (-7)        /* the B-channel did not become active in time */
#define ISDN_NO_ANSWER (-8)           /* a negotiation answer did not arrive in time */
#define ISDN_CLEARED_SETUP (-9)       /* the line was cleared during the set-up */
#define ISDN_CLEARED_NEGOTIATION (-10)/* the line was cleared during negotiation */
/* WriteISDNBlock and ReadISDNBlock */
#define ERROR_DIS_EXCHANGE (-11)      /* the line has been cleared */
#define ISDN_BAD_ARGUMENT (-12)       /* a null pointer or a negative count */

/* `number`: the digits to call, at most 253 characters. 0 or a code above. */
int DialISDN(const char* number);
/* Sends `count` bytes (blocks above 2042 bytes go as several frames). 0 or -11. */
int WriteISDNBlock(const unsigned char* data, int count);
/* `buffer` holds at least 2043 bytes. Bytes placed (followed by a 0 byte), 0 when
   nothing came, -11 when the line has been cleared and nothing is buffered. */
int ReadISDNBlock(unsigned char* buffer);
/* 0 */
int CloseISDN(void);

#ifdef __cplusplus
}
#endif

#endif

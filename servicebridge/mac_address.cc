#include "servicebridge/mac_address.h"

#include <stdio.h>
#include <string.h>

#include "win32/netbios.h"

namespace servicebridge {

std::string MacAddressText() {
  LANA_ENUM lanas;
  memset(&lanas, 0, sizeof(lanas));
  NCB ncb;
  memset(&ncb, 0, sizeof(ncb));
  ncb.ncb_command = NCBENUM;
  ncb.ncb_buffer = reinterpret_cast<UCHAR*>(&lanas);
  ncb.ncb_length = sizeof(lanas);
  if (Netbios(&ncb) != NRC_GOODRET)
    return std::string();

  bool reset = false;
  for (int i = 0; i < lanas.length && !reset; ++i) {
    memset(&ncb, 0, sizeof(ncb));
    ncb.ncb_command = NCBRESET;
    ncb.ncb_lana_num = lanas.lana[i];
    reset = Netbios(&ncb) == NRC_GOODRET;
  }
  if (!reset)
    return std::string();

  // The status always comes from the first enumerated adapter.
  unsigned char buffer[600];
  memset(buffer, 0, sizeof(buffer));
  memset(&ncb, 0, sizeof(ncb));
  ncb.ncb_command = NCBASTAT;
  ncb.ncb_lana_num = lanas.lana[0];
  ncb.ncb_callname[0] = '*';
  ncb.ncb_buffer = buffer;
  ncb.ncb_length = sizeof(buffer);
  if (Netbios(&ncb) != NRC_GOODRET)
    return std::string();

  ADAPTER_STATUS status;
  memcpy(&status, buffer, sizeof(status));
  char text[18];
  snprintf(text, sizeof(text), "%02X:%02X:%02X:%02X:%02X:%02X", status.adapter_address[0],
           status.adapter_address[1], status.adapter_address[2], status.adapter_address[3],
           status.adapter_address[4], status.adapter_address[5]);
  return text;
}

}  // namespace servicebridge

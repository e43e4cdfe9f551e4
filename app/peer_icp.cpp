#include "app/peer_icp.h"

#include "geometry/module_loader.h"

const PeerIcp* peer_icp(std::string* why) {
  return module_table<PeerIcp>("icp_open3d_peer_icp", kPeerIcpVersion, why);
}

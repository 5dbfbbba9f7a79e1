// The track services of the one Program.
#include "QVX/race/Player.h"
#include "QVX/race/Track.h"
#include "QVX/shell/DataPaths.h"
#include "QVX/shell/Program.h"

TrackServices TrackServices_FromProgram(const Program& program) {
  TrackServices s;
  s.display = program.m_displayDevice;
  s.software = program.m_softwareDevice;
  s.weather = program.m_weather;
  s.materials = &program.m_materials;
  char path[DATAPATH_MAX_PATH];
  if (GetDataFolderPath(path, DATAFOLDER_TRACKS)) s.tracksFolder = path;
  if (GetDataFolderPath(path, program.m_textureFolder)) s.textureFolder = path;
  if (GetDataFolderPath(path, DATAFOLDER_MAPS_CARS)) s.mapsCarsFolder = path;
  const Player* first = program.m_playerCount ? program.m_players[0] : nullptr;
  if (first) {
    const int32_t detail = first->m_profile.track_detail;
    s.detail = detail < 0 ? TRACK_DETAIL_LOW : (detail > 2 ? TRACK_DETAIL_HIGH : uint32_t(detail));
    s.magFilter = uint32_t(first->m_profile.mag_filter);
    s.minFilter = uint32_t(first->m_profile.min_filter);
    const int32_t texture = first->m_profile.tex_detail;
    s.textureDivisor = texture == 0 ? 4 : (texture == 1 ? 2 : 1);
  }
  s.gameMode = program.m_gameMode;
  s.physicsStep = program.m_physicsStep;
  s.sound = program.m_soundDevice != nullptr;
  s.volumeCars = program.m_volumeCars;
  s.volumeAmbient = program.m_volumeAmbient;
  s.volumeComment = program.m_volumeComment;
  s.volumeMaster = program.m_volumeMaster;
  return s;
}

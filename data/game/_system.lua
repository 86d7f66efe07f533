-- The demo game: "the yard at dusk". Quill, a small tin robot, stands in the
-- yard of a house as the sun goes down. The player points at things: a left
-- click walks there and uses them, a right click makes Quill look at them
-- and say what he thinks. Watching the sunset (a high-definition movie)
-- brings the night and its music; the gate leads out to the road (a classic
-- cutscene). The camera follows Quill onto the porch. F5 saves, F9 loads,
-- F2 switches between the new and the classic rendering, C plays the
-- director's commentary, T changes how lines are given (text and voice,
-- text only, voice only) and Escape skips a movie or a line. A start told
-- to resume goes on from the most recent save.
--
-- Written in the game scripts' 3.1 language: there is no for and no break,
-- inner functions see outer locals only as %upvalues, and every value that
-- a task keeps in its locals is saved with the game.

-- ---------------------------------------------------------------------------
-- Helpers

function log(text)
  PrintMessage("[Demo] - " .. text .. "\n")
end

-- Waits in a task for about ms milliseconds of game time.
function wait_ms(ms)
  local waited = 0
  while waited < ms do
    break_here()
    waited = waited + system.frameTime
  end
end

function wait_walk(actor)
  while IsActorMoving(actor) do break_here() end
end

function wait_talk(actor)
  while IsMessageGoing(actor) do break_here() end
end

function position_text(actor)
  local x, y, z = GetActorPos(actor)
  return format("%.2f %.2f %.2f", x, y, z)
end

-- What a save keeps and a load gives back: where Quill stands and faces,
-- the chores his costume plays, the music state and the view.
function scene_state()
  local chores = GetActorChores(quill)
  local playing = ""
  local c = 0
  while c <= 12 do
    if chores and chores[c] then playing = playing .. " " .. c end
    c = c + 1
  end
  local pitch, yaw, roll = GetActorRot(quill)
  return "Quill at " .. position_text(quill) .. format(" facing %.1f", yaw) ..
         ", chores" .. playing .. ", music state " .. yard.music .. ", setup " .. yard.setup
end

-- ---------------------------------------------------------------------------
-- The scene's state. Everything here is saved with the game.

yard = {
  night = nil,    -- the sun has set
  setup = 0,      -- the camera setup the scene shows
  loads = nil,    -- how many times a saved game was loaded
  music = 1001,   -- the music state it asked for
  action = nil,   -- the task of the player's current action
  saving = nil,   -- a save's report is due
  savedState = nil, -- what the save being written holds
}

-- Light text with a dark shadow one pixel down and right: readable on the
-- sky, the house and the dark lawn, in both renderings.
kTextColor = MakeColor(255, 244, 214)
kShadowColor = MakeColor(0, 0, 0)

-- The things of the yard, by hotspot id: where Quill stands to use each, the
-- point he looks at, and what he says when he looks.
things = {
  door = {x = -1.4, y = 2.45, look = {-1.4, 3.0, 1.3}, line = "/DOOR01/"},
  lamp = {x = -0.9, y = 2.3, look = {-1.4, 2.85, 2.3}, line = "/LAMP01/", nightLine = "/LAMP02/"},
  window = {x = -0.05, y = 2.3, look = {-0.05, 3.0, 1.45}, line = "/WINDOW01/"},
  sun = {x = 1.5, y = 0.2, look = {21.0, 67.0, 10.0}, line = "/SUN01/"},
  gate = {x = 2.9, y = 0.9, look = {3.4, 0.9, 1.0}, line = "/GATE01/"},
}

function set_music(state)
  yard.music = state
  MelosSetState(state)
  log("music state " .. state)
end

-- The yard's music: dusk or night, quieter on the porch (at dusk).
function yard_music()
  if yard.night then
    return 1999
  elseif yard.setup == 1 then
    return 1002
  end
  return 1001
end

-- ---------------------------------------------------------------------------
-- Quill

function make_quill()
  quill = LoadActor("quill", 1, 0)
  PutActorInSet(quill, "demo.set")
  SetActorCostume(quill, "quill.cos")
  -- quill.cos: 0 walk, 1 rest, 2 mumble, 3 to 12 the mouths of the ten
  -- lip-sync shapes.
  SetActorWalkChore(quill, 0)
  SetActorRestChore(quill, 1)
  SetActorMumblechore(quill, 2)
  local shape = 1
  while shape <= 10 do
    SetActorTalkChore(quill, shape, shape + 2)
    shape = shape + 1
  end
  -- The head turns on the torso, neck and head joints.
  SetActorHead(quill, 1, 2, 3, 150, 30, 80)
  SetActorLookRate(quill, 200)
  SetActorFollowBoxes(quill, 1)
  SetActorWalkRate(quill, 1.1)
  SetActorTurnRate(quill, 270)
  SetActorTalkColor(quill, MakeColor(250, 230, 120))
  -- Its shadow falls away from the low sun onto the yard's floor.
  SetActorShadowPlane(quill, "yard")
  AddShadowPlane(quill, "yard")
  AddShadowPlane(quill, "porch")
  SetActorShadowPoint(quill, 6, 20, 3)
  SetShadowColor(6, 8, 12)
  PutActorAt(quill, 1.0, -0.4, 0)
  SetActorRot(quill, 0, 200, 0)
end

-- A crate by the tree stands across the left edge of the wide view (50
-- degrees wide, 7 m away): its faces are clipped at the edge of the picture.
function make_crate()
  crate = LoadActor("crate", 1, 0)
  PutActorInSet(crate, "demo.set")
  SetActorCostume(crate, "walker.cos")
  SetActorRestChore(crate, 1)
  PutActorAt(crate, -2.9, 0.0, 0)
end

-- Turns Quill toward a point of the floor, a step a frame.
function turn_to(x, y)
  while TurnActorTo(quill, x, y, 0) do break_here() end
end

-- Quill says a line of the text table (with its voice and mouth shapes) and
-- the task waits until it is over.
function say(line)
  SayLine(quill, line)
  log("Quill says " .. line)
  wait_talk(quill)
  log("the line is over")
end

-- Turns toward a thing, looks at it and says its line.
function look_at(id)
  local thing = things[id]
  local p = thing.look
  turn_to(p[1], p[2])
  ActorLookAt(quill, p[1], p[2], p[3], 200)
  log("Quill looks at the " .. id)
  local line = thing.line
  if yard.night and thing.nightLine then line = thing.nightLine end
  say(line)
  ActorLookAt(quill, nil)
end

function walk_to(x, y)
  WalkActorTo(quill, x, y, 0)
  log(format("Quill walks to %.2f %.2f", x, y))
  wait_walk(quill)
  log("Quill stops at " .. position_text(quill))
end

-- ---------------------------------------------------------------------------
-- Actions: each runs as the task of the player's current action; a new
-- click ends the running one.

function act(f, a)
  if yard.action then stop_task(yard.action) end
  yard.action = start_task(f, a)
end

function use_thing(id)
  local thing = things[id]
  if id == "gate" then
    leave_through_gate()
  elseif id == "sun" then
    watch_sunset()
  else
    walk_to(thing.x, thing.y)
    look_at(id)
  end
  yard.action = nil
end

function look_thing(id)
  if id == "sun" then
    watch_sunset()
  else
    look_at(id)
  end
  yard.action = nil
end

function walk_floor(point)
  walk_to(point.x, point.y)
  yard.action = nil
end

-- The high-definition movie of the sunset; afterwards it is night.
function watch_sunset()
  if yard.night then
    say("/NIGHT01/")
    return
  end
  look_at("sun")
  log("the sunset movie starts")
  -- The second argument nil plays the movie once; without it, it loops.
  if StartFullscreenMovie("intro.snm", nil) then
    while IsMoviePlaying() do break_here() end
  end
  log("the sunset movie is over")
  yard.night = 1
  SetLightIntensity("door_lamp", 1.6)
  set_music(yard_music())
  say("/NIGHT01/")
end

-- Out through the gate: the classic cutscene of the road, with the fanfare,
-- and back in.
function leave_through_gate()
  local thing = things.gate
  walk_to(thing.x, thing.y)
  look_at("gate")
  WalkActorTo(quill, 4.6, 0.9, 0)
  wait_walk(quill)
  log("Quill leaves through the gate at " .. position_text(quill))
  MelosSetSequence(2001)
  if StartFullscreenMovie("gate.snm", nil) then
    log("the road cutscene starts")
    while IsMoviePlaying() do break_here() end
    log("the road cutscene is over")
  else
    log("the road cutscene could not start")
  end
  PutActorAt(quill, 2.9, 0.9, 0)
  SetActorRot(quill, 0, 90, 0)
  say("/BACK01/")
end

-- ---------------------------------------------------------------------------
-- Tasks that run all the time

-- The camera follows Quill: the porch view while he stands in its camera
-- sector, the wide view elsewhere; the music follows the view.
function follow_camera()
  while 1 do
    local setup = 0
    if IsActorInSector(quill, "porch_view") then setup = 1 end
    if setup ~= yard.setup then
      yard.setup = setup
      MakeCurrentSetup(setup)
      log("camera setup " .. setup)
      set_music(yard_music())
      -- The things under the cursor changed with the view.
      update_cursor()
    end
    break_here()
  end
end

-- Says what a save holds and, once after a load, what came back (and counts
-- the loads). A save is made at the start of the frame after it was asked
-- for, before the tasks' turns, so the report on the first turn after it
-- tells exactly what it holds. The save itself holds the pending report,
-- which the load drops.
-- The save is written to disk on a thread of its own: its report waits for
-- the save's status (GetSaveStatus: -1 while it runs, 0 once it is on disk),
-- and a save that failed is said on screen.
function watch_saves_and_loads()
  while 1 do
    break_here()
    if JustLoaded() then
      yard.saving = nil
      yard.savedState = nil
      yard.loads = (yard.loads or 0) + 1
      log("game loaded: " .. scene_state())
      update_cursor()
    elseif yard.saving then
      if yard.saving > 0 then
        yard.saving = yard.saving - 1
        if yard.saving == 0 then yard.savedState = scene_state() end
      end
      local status = GetSaveStatus()
      if yard.saving == 0 and status ~= -1 then
        yard.saveResult = status
        if status == 0 then
          log("saved: " .. yard.savedState)
        else
          log("could not save (status " .. status .. ")")
          show_text("/NOSAVE/", 200, 3000)
        end
        yard.saving = nil
        yard.savedState = nil
      end
    end
  end
end

-- A heartbeat that counts the frames in a counter of its own tag ("+ n"
-- counts up through the "add" tag method) and reports at frames 1, 2, 3,
-- 10, 100, 1000 ... Its count lives in its own frame, so a loaded game goes
-- on counting from the frame it was saved at.
Counter = newtag()
settagmethod(Counter, "add", function(counter, n)
  counter.value = counter.value + n
  return counter
end)

function heartbeat()
  local frames = settag({value = 0}, Counter)
  local prefix = "heartbeat task: frame "
  local report = function(text) log(%prefix .. text) end
  local nextReport = 10
  local loadsSeen = yard.loads
  while 1 do
    frames = frames + 1
    if frames.value <= 3 or frames.value == nextReport then
      report(frames.value)
      if frames.value == nextReport then nextReport = nextReport * 10 end
    end
    break_here()
    -- watch_saves_and_loads (an older task, so it ran first this frame)
    -- counts loads.
    if yard.loads ~= loadsSeen then
      loadsSeen = yard.loads
      report(frames.value .. " (just loaded)")
    end
  end
end

-- Saves to slot 1. The report of what the save holds comes from
-- watch_saves_and_loads after the given number of its turns: its first turn
-- after the save is made, which is the next one when the caller ran ahead of
-- it in this frame (a key's handler), else the one after.
function save_game(turns)
  if yard.saving then
    log("a save is still being written")
    return
  end
  log("saving to slot 1")
  Save(1, "Quill in the yard", 1, "/TITLE/")
  yard.saving = turns
end

function load_game()
  log("loading slot 1")
  Load(1)
end

-- With the boot parameter "saveload" (the program's tests pass it) the game saves to slot 1 after 30 frames and
-- loads it 60 frames later. The load brings this task back to the frames
-- after its save, so it ends once the heartbeat has seen the load.
function save_and_load()
  local frames = 0
  while frames < 30 do frames = frames + 1 break_here() end
  save_game(1)
  while frames < 90 do
    frames = frames + 1
    break_here()
    if yard.loads then return end
  end
  load_game()
end

-- With the boot parameter "tour" (make run passes it when there is no
-- display) the game shows itself: Quill walks to the door and looks at it,
-- looks at the window, the game is saved and loaded again, he goes out
-- through the gate (the road cutscene) and the rendering is switched. The
-- tour then says what it did and ends the program. The load brings this
-- task back to the frames after its save; the count of loads tells it that
-- the load is done.
function tour()
  local done = "walked to the door and looked at it"
  wait_ms(1000)
  log("tour: to the door")
  use_thing("door")
  log("tour: the window")
  look_at("window")
  done = done .. ", looked at the window"
  local loadsBefore = yard.loads or 0
  yard.saveResult = nil
  save_game(1)
  while yard.saving do break_here() end
  if (yard.loads or 0) == loadsBefore then
    if yard.saveResult == 0 then
      load_game()
      while 1 do break_here() end
    end
    done = done .. ", could not save (status " .. (yard.saveResult or "none") .. ")"
  else
    done = done .. ", saved, loaded the save"
  end
  log("tour: the gate")
  leave_through_gate()
  done = done .. ", went out through the gate (road cutscene) and back"
  -- The rendering is switched and, a second later, back: the player's
  -- setting stays as it was.
  if HardwareAccelerated() == 0 then
    done = done .. ", stayed in the classic rendering (the new one is not available)"
  else
    toggle_rendering()
    wait_ms(1000)
    toggle_rendering()
    wait_ms(500)
    done = done .. ", switched the rendering and back"
  end
  log("tour over: " .. done)
  exit(0)
end

-- ---------------------------------------------------------------------------
-- Input

function hotspot_under_mouse()
  local spots = QueryActiveHotspots(0)
  return spots[0]
end

function update_cursor()
  local spot = hotspot_under_mouse()
  local cursor = 0
  if spot then cursor = spot.cursor end
  if cursor ~= yard.cursor then
    yard.cursor = cursor
    SetCursor(cursor)
    if spot then log("the cursor points at the " .. spot.id) end
  end
end

function click(right)
  local spot = hotspot_under_mouse()
  if spot then
    if right then
      act(look_thing, spot.id)
    else
      act(use_thing, spot.id)
    end
  elseif not right then
    local point = GetFloorWalkPos()
    if point then act(walk_floor, point) end
  end
end

function toggle_rendering()
  if HardwareAccelerated() == 0 then
    log("the new rendering is not available: the classic rendering stays")
    return
  end
  local classic = ReadRegistryValue("RenderingMode")
  if classic and classic ~= 0 then
    WriteRegistryValue("RenderingMode", 0)
    log("new rendering")
  else
    WriteRegistryValue("RenderingMode", 1)
    log("classic rendering")
  end
  SaveRegistryToDisk()
end

function toggle_commentary()
  SetCommentary("yard_tour")
  PlayCurrentCommentary()
end

-- How lines are given: 3 text and voice, 1 text only, 2 voice only. The
-- player's choice is kept in the settings as "SpeechMode".
speech_modes = {[3] = "text and voice", [1] = "text only", [2] = "voice only"}
next_speech_mode = {[3] = 1, [1] = 2, [2] = 3}

function use_speech_mode(mode)
  if not speech_modes[mode] then mode = 3 end
  SetSpeechMode(mode)
  log("lines: " .. speech_modes[mode])
end

function toggle_speech_mode()
  local mode = next_speech_mode[GetSpeechMode()]
  use_speech_mode(mode)
  WriteRegistryValue("SpeechMode", mode)
  SaveRegistryToDisk()
end

-- A line of the text table shown for a while in the scene's colours, with
-- its shadow. A printed line goes under the ones printed before it, so the
-- text comes first.
function show_text(id, y, duration)
  PrintLine(id, {x = 320, y = y, center = 1, font = demo_font, duration = duration,
                 fgcolor = kTextColor})
  PrintLine(id, {x = 321, y = y + 1, center = 1, font = demo_font, duration = duration,
                 fgcolor = kShadowColor})
end

function skip()
  if IsMoviePlaying() then
    StopMovie()
    log("the movie is skipped")
  elseif IsMessageGoing(quill) then
    ShutUpActor(quill)
  end
end

function system.buttonHandler(control, down, presses, doublePress)
  if not down then return end
  local c = system.controls
  if control == c.KEY_MOUSE_B1 then
    click(nil)
  elseif control == c.KEY_MOUSE_B3 then
    click(1)
  elseif control == c.KEY_F5 then
    -- The handler runs ahead of the tasks in its frame.
    save_game(2)
  elseif control == c.KEY_F9 then
    load_game()
  elseif control == c.KEY_F2 then
    toggle_rendering()
  elseif control == c.KEY_C then
    toggle_commentary()
  elseif control == c.KEY_T then
    toggle_speech_mode()
  elseif control == c.KEY_ESCAPE then
    skip()
  elseif control == c.KEY_F8 then
    -- The light manager, a developer tool: F8 opens and closes it.
    LightMgrStartup()
  end
end

function system.axisHandler(control, value)
  update_cursor()
end

function system.NotifyCommentary(playing)
  log("commentary " .. playing)
end

-- ---------------------------------------------------------------------------
-- Start

function BOOT(resume, bootParameter)
  log("BOOT (resume " .. resume .. ", parameter " .. bootParameter .. ")")
  demo_font = LockFont("demo.laf")
  talk_font = demo_font
  SetSayLineDefaults({font = demo_font})
  MakeCurrentSet("demo.set")
  LightMgrSetChange()
  MakeCurrentSetup(0)
  SetLightIntensity("door_lamp", 0.6)
  make_quill()
  make_crate()
  set_music(yard_music())
  SetCursor(0)
  ShowCursor(1)
  IrisUp(320, 300, 1000)
  show_text("/TITLE/", 30, 4000)
  local small = LockFont("small.laf")
  help_shadow = MakeTextObject("/HELP/", {x = 321, y = 463, center = 1, font = small,
                                          fgcolor = kShadowColor})
  help_text = MakeTextObject("/HELP/", {x = 320, y = 462, center = 1, font = small,
                                        fgcolor = kTextColor})
  -- Lines are given as text and voice unless the player chose otherwise,
  -- and C plays the commentary unless the player turned it off.
  use_speech_mode(ReadRegistryIntValue("SpeechMode") or 3)
  if not ReadRegistryValue("DirectorsCommentary") then
    WriteRegistryValue("DirectorsCommentary", 1)
  end
  start_task(follow_camera)
  start_task(watch_saves_and_loads)
  start_task(heartbeat)
  if bootParameter == "saveload" then start_task(save_and_load) end
  if bootParameter == "tour" then start_task(tour) end
  log("the yard is ready")
  -- A start told to resume goes on from the most recent save, when there
  -- is one (the load replaces the scene just made); a start with a boot
  -- parameter (the tour, the tests) begins in the yard.
  local slot = ReadRegistryIntValue("LastSavedGame")
  if resume and resume ~= 0 and slot and not bootParameter then
    log("resuming the save of slot " .. slot)
    Load(slot)
  end
end

local c = system.controls
EnableControl(c.KEY_MOUSE_B1)
EnableControl(c.KEY_MOUSE_B3)
EnableControl(c.AXIS_MOUSE_X)
EnableControl(c.AXIS_MOUSE_Y)
EnableControl(c.KEY_ESCAPE)
EnableControl(c.KEY_F2)
EnableControl(c.KEY_F5)
EnableControl(c.KEY_F9)
EnableControl(c.KEY_C)
EnableControl(c.KEY_T)
EnableControl(c.KEY_F8)

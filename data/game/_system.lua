-- The demo game's boot script, in the game scripts' 3.1 language. The engine
-- runs it at start-up, then calls BOOT(resume, bootParameter).

-- Counters: tables of the Counter tag, which "+ n" counts up (the "add" tag
-- method answers the counter itself).
Counter = newtag()
settagmethod(Counter, "add", function(counter, n)
  counter.value = counter.value + n
  return counter
end)

function NewCounter()
  return settag({value = 0}, Counter)
end

-- A task that runs once per frame and reports at frames 1, 2, 3, 10, 100,
-- 1000 ... Its state lives in its own frame, so a saved game that holds the
-- task goes on counting where it was.
function heartbeat()
  local frames = NewCounter()
  local prefix = "[Demo] - heartbeat task: frame "
  local report = function(n) PrintMessage(%prefix .. n .. "\n") end
  local nextReport = 10
  while 1 do
    frames = frames + 1
    if frames.value <= 3 or frames.value == nextReport then
      report(frames.value)
      if frames.value == nextReport then nextReport = nextReport * 10 end
    end
    break_here()
    -- After a load the task goes on from the frame it was saved at.
    if JustLoaded() then
      loaded = 1
      report(frames.value .. " (just loaded)")
    end
  end
end

-- The walker's motion chores (walker.cos: 0 walk, 1 rest, 2 mumble): a line
-- whenever the walk or the rest chore starts or stops playing.
walkerChores = {walk = nil, rest = nil}

function report_chores()
  local walking = IsActorChoring(walker, 0)
  local resting = IsActorChoring(walker, 1)
  if walking ~= walkerChores.walk then
    if walking then
      PrintMessage("[Demo] - the walk chore plays\n")
    else
      PrintMessage("[Demo] - the walk chore stopped\n")
    end
    walkerChores.walk = walking
  end
  if resting ~= walkerChores.rest then
    if resting then
      PrintMessage("[Demo] - the rest chore plays\n")
    else
      PrintMessage("[Demo] - the rest chore stopped\n")
    end
    walkerChores.rest = resting
  end
end

-- A task that follows the walker: its position once a second and its motion
-- chores, a line when it stops, then it turns back toward where it came
-- from and says a line, mumbling.
function watch_walker()
  if not walker then return end
  local elapsed = 0
  local nextReport = 0
  while IsActorMoving(walker) do
    if elapsed >= nextReport then
      local x, y, z = GetActorPos(walker)
      PrintMessage(format("[Demo] - GetActorPos(walker): %.2f %.2f %.2f\n", x, y, z))
      nextReport = nextReport + 1000
    end
    break_here()
    report_chores()
    elapsed = elapsed + system.frameTime
  end
  local x, y, z = GetActorPos(walker)
  PrintMessage(format("[Demo] - IsActorMoving(walker) is nil: stopped at %.2f %.2f %.2f\n", x, y,
                      z))
  while TurnActorTo(walker, 0.5, 0.7, 0) do
    break_here()
    report_chores()
  end
  local pitch, yaw, roll = GetActorRot(walker)
  PrintMessage(format("[Demo] - the walker turned back: yaw %.1f\n", yaw))
  break_here()
  report_chores()
  SayLine(walker, "/DEMO001/Nobody here but a crate.")
  if IsActorChoring(walker, 2) then
    PrintMessage("[Demo] - SayLine: the mumble chore plays\n")
  end
  while IsMessageGoing() do break_here() end
  PrintMessage("[Demo] - the say-line ended\n")
end

-- With the boot parameter "saveload" (make run passes it when there is no
-- display to press keys on) the demo saves to slot 1 after 30 frames and
-- loads it 60 frames later. The load brings this task back to the frames
-- after its save, so it ends once the heartbeat has seen the load.
function save_and_load()
  local frames = 0
  while frames < 30 do frames = frames + 1 break_here() end
  SaveOrLoad(system.controls.KEY_F5)
  while frames < 90 do
    frames = frames + 1
    break_here()
    if loaded then return end
  end
  SaveOrLoad(system.controls.KEY_F9)
end

-- Waits in a task for about ms milliseconds of game time.
function wait_ms(ms)
  local waited = 0
  while waited < ms do
    break_here()
    waited = waited + system.frameTime
  end
end

-- Music and speech: a resident chime, the music script's state (a looping
-- compressed theme) and a sequence (a fanfare that hands back at its "_end"
-- marker), a spoken line with lip sync, and a recording of the mix.
function music_demo()
  MelosStartRecording("demo_mix.wav", 1)
  local chime = MelosStartSound("tone.mlu", 100, 1)
  PrintMessage("[Demo] - MelosStartSound(tone.mlu): id " .. chime .. ", playing " ..
               MelosGetParam(chime, 256) .. "\n")
  MelosSetState(1001)
  wait_ms(1000)
  PrintMessage("[Demo] - a second later tone.mlu is playing " .. MelosGetParam(chime, 256) ..
               "\n")
  PrintMessage("[Demo] - MelosSetSequence(2001): " .. MelosSetSequence(2001) .. "\n")
  PrintMessage("[Demo] - the current sequence: " .. MelosSetSequence(-1) .. "\n")
  MelosStartVoice("demo_line.wav", 127, 64)
  wait_ms(500)
  PrintMessage("[Demo] - the voice is playing " .. MelosGetParam(10000, 256) .. " at " ..
               MelosGetParam(10000, 6656) .. " ms\n")
  wait_ms(1500)
  MelosStopRecording()
  PrintMessage("[Demo] - the sequence after its end: " .. MelosSetSequence(-1) .. "\n")
end

-- The setting "RenderingMode" switches the picture between the new
-- (deferred) renderer and the classic one, where the software rasterizer
-- draws the crates through the depth buffer over the background's depth
-- image: classic from the third second to the sixth, then new again.
function switch_rendering()
  wait_ms(2500)
  WriteRegistryValue("RenderingMode", 1)
  PrintMessage("[Demo] - classic rendering\n")
  wait_ms(3500)
  WriteRegistryValue("RenderingMode", 0)
  PrintMessage("[Demo] - new rendering\n")
end

function BOOT(resume, bootParameter)
  PrintMessage("[Demo] - BOOT (resume " .. resume .. ", parameter " .. bootParameter .. ")\n")
  start_task(heartbeat)
  if bootParameter == "saveload" then start_task(save_and_load) end
  start_task(music_demo)
  start_task(switch_rendering)
  -- Enter the demo set and look through its wide view (with its depth
  -- image and its companion lights: a lamp that casts shadows and the sun).
  MakeCurrentSet("demo.set")
  MakeCurrentSetup(0)
  -- A walker crosses the south strip of the walk floor from west to east,
  -- with its shadow cast on the floor from a point high above.
  walker = LoadActor("walker", 1, 0)
  PutActorInSet(walker, "demo.set")
  SetActorCostume(walker, "walker.cos")
  SetActorWalkChore(walker, 0)
  SetActorRestChore(walker, 1)
  SetActorMumblechore(walker, 2)
  -- Its say-lines show in a warm yellow.
  SetActorTalkColor(walker, MakeColor(255, 220, 120))
  SetActorFollowBoxes(walker, 1)
  PutActorAt(walker, 0.5, 0.7, 0)
  SetActorWalkRate(walker, 1)
  SetActorTurnRate(walker, 180)
  SetActorShadowPlane(walker, "floor_south")
  SetActorShadowPoint(walker, 2, 0.7, 10)
  WalkActorTo(walker, 3.5, 0.7, 0)
  start_task(watch_walker)
  -- A second crate waits under the lamp, lit by it and casting its shadow.
  sitter = LoadActor("sitter", 1, 0)
  PutActorInSet(sitter, "demo.set")
  SetActorCostume(sitter, "walker.cos")
  SetActorRestChore(sitter, 1)
  PutActorAt(sitter, 1.3, 1.2, 0)
  -- Where the walk ends, the lamp over the door and the camera's field of view.
  local id, name, kind = GetPointSector(3.5, 0.7, 0, nil)
  PrintMessage("[Demo] - GetPointSector(3.5, 0.7, 0): " .. id .. " " .. name .. " " .. kind .. "\n")
  SetLightIntensity("door_lamp", 0.6)
  PrintMessage("[Demo] - door_lamp intensity " .. GetLightIntensity("door_lamp") .. "\n")
  SetCameraFOV(50)
  PrintMessage("[Demo] - GetCameraFOV: " .. GetCameraFOV() .. "\n")
  -- The pointer cursor (cursor00.png), shown over the picture.
  SetCursor(0)
  ShowCursor(1)
  -- The title, centred near the top of the picture for four seconds.
  PrintLine("Vosk Quorvale", {x = 320, y = 40, center = 1, duration = 4000})
  -- Open the picture from the centre of the screen, with a frame around it.
  IrisUp(320, 240, 1000)
  DrawRectangle(40, 40, 599, 439)
end

-- Input: the engine calls buttonHandler(control, 1 or nil, presses, double
-- press) when an enabled key goes down or up, and axisHandler(control,
-- value) when an enabled axis moves. The demo listens to Escape, Space and
-- the mouse and logs every call.
function ControlName(index)
  local name, value = next(system.controls, nil)
  while name do
    if value == index then return name end
    name, value = next(system.controls, name)
  end
  return "control " .. index
end

function system.buttonHandler(control, down, presses, doublePress)
  local state = "up"
  if down then state = "down" end
  PrintMessage("[Demo] - button " .. ControlName(control) .. " " .. state .. " (presses " ..
               presses .. ", double " .. doublePress .. ")\n")
  if down then SaveOrLoad(control) end
end

-- Saving and loading: F5 saves the game to slot 1, F9 loads slot 1.
function SaveOrLoad(control)
  if control == system.controls.KEY_F5 then
    PrintMessage("[Demo] - saving to slot 1\n")
    Save(1, "0", 1, "Demo save")
  elseif control == system.controls.KEY_F9 then
    PrintMessage("[Demo] - loading slot 1\n")
    Load(1)
  end
end

function system.axisHandler(control, value)
  PrintMessage("[Demo] - axis " .. ControlName(control) .. " " .. value .. "\n")
end

EnableControl(system.controls.KEY_ESCAPE)
EnableControl(system.controls.KEY_SPACE)
EnableControl(system.controls.AXIS_MOUSE_X)
EnableControl(system.controls.AXIS_MOUSE_Y)
EnableControl(system.controls.KEY_F5)
EnableControl(system.controls.KEY_F9)

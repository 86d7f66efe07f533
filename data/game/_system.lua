-- The demo game's boot script. The engine runs it at start-up, then calls
-- BOOT(resume, bootParameter).

-- A task that runs once per frame and reports at frames 1, 2, 3, 10, 100,
-- 1000 ...
function heartbeat()
  local frames = 0
  local nextReport = 10
  while true do
    frames = frames + 1
    if frames <= 3 or frames == nextReport then
      PrintMessage("[Demo] - heartbeat task: frame " .. frames .. "\n")
      if frames == nextReport then nextReport = nextReport * 10 end
    end
    break_here()
  end
end

function BOOT(resume, bootParameter)
  PrintMessage("[Demo] - BOOT (resume " .. resume .. ", parameter " .. bootParameter .. ")\n")
  start_task(heartbeat)
  -- Enter the demo set and look through its second camera setup.
  MakeCurrentSet("demo.set")
  MakeCurrentSetup(1)
end

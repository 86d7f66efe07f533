-- The demo game's boot script. The engine runs it at start-up, then calls
-- BOOT(resume, bootParameter).

-- A task that runs once per frame and reports now and then.
function heartbeat()
  local frames = 0
  while true do
    frames = frames + 1
    if frames <= 3 or frames % 1000 == 0 then
      PrintMessage("[Demo] - heartbeat task: frame " .. frames .. "\n")
    end
    break_here()
  end
end

function BOOT(resume, bootParameter)
  PrintMessage("[Demo] - BOOT (resume " .. resume .. ", parameter " .. bootParameter .. ")\n")
  start_task(heartbeat)
end
